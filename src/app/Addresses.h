// The fixed addresses of the checker: the update server's base address (the
// version list and the update files lie below it) and the web pages it opens.
// The build may replace any of them (CMake cache variables of the same names),
// so that a test can point the real program at a server of its own.
#pragma once

#ifndef DRAVIN_UPDATE_BASE_URL
#define DRAVIN_UPDATE_BASE_URL "http://update.dravin.example/dravin/"
#endif
#ifndef DRAVIN_ZEL_PRODUCT_PAGE
#define DRAVIN_ZEL_PRODUCT_PAGE "http://www.zel.example/product/"
#endif
#ifndef DRAVIN_ORN_PRODUCT_PAGE
#define DRAVIN_ORN_PRODUCT_PAGE "http://www.orn.example/product/"
#endif
#ifndef DRAVIN_ZEL_PLUGIN_PAGE
#define DRAVIN_ZEL_PLUGIN_PAGE "http://www.zel.example/plugin/"
#endif
#ifndef DRAVIN_ORN_PLUGIN_PAGE
#define DRAVIN_ORN_PLUGIN_PAGE "http://www.orn.example/plugin/"
#endif
#ifndef DRAVIN_MAKER_TOP_PAGE
#define DRAVIN_MAKER_TOP_PAGE "http://www.dravin.example/"
#endif
#ifndef DRAVIN_MAKER_SOFTWARE_PAGE
#define DRAVIN_MAKER_SOFTWARE_PAGE "http://www.dravin.example/software/"
#endif

#ifndef DRAVIN_DOWNLOAD_PAGE
#define DRAVIN_DOWNLOAD_PAGE "http://www.dravin.example/download/"
#endif
#ifndef DRAVIN_SUPPORT_BOARD_PAGE
#define DRAVIN_SUPPORT_BOARD_PAGE "http://www.dravin.example/bbs/"
#endif

// Scheme, host and folder, ending with a slash.
inline constexpr const char* UpdateBaseUrl = DRAVIN_UPDATE_BASE_URL;
inline constexpr const char* ZelProductPage = DRAVIN_ZEL_PRODUCT_PAGE;
inline constexpr const char* OrnProductPage = DRAVIN_ORN_PRODUCT_PAGE;
inline constexpr const char* ZelPlugInPage = DRAVIN_ZEL_PLUGIN_PAGE;
inline constexpr const char* OrnPlugInPage = DRAVIN_ORN_PLUGIN_PAGE;
inline constexpr const char* MakerTopPage = DRAVIN_MAKER_TOP_PAGE;
inline constexpr const char* MakerSoftwarePage = DRAVIN_MAKER_SOFTWARE_PAGE;
inline constexpr const char* DownloadPage = DRAVIN_DOWNLOAD_PAGE;
inline constexpr const char* SupportBoardPage = DRAVIN_SUPPORT_BOARD_PAGE;
