// Version resources through the system's version API (wide entry points; the
// texts are converted to our code page here).
#include "platform/VersionResource.h"

#include <algorithm>

#include "platform/win32/WinApi.h"

// The seam's own names, not the ANSI/wide macros of <winver.h>.
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo

namespace plat {
namespace {

// Where the API's answer lies inside Block, and how many bytes of it are left:
// a malformed resource must not lead us past the end of our own buffer.
bool Query(const std::vector<std::uint8_t>& Block, const std::string& SubBlock, const std::uint8_t*& Data,
           std::size_t& Left, UINT& Length) {
  if (Block.empty()) return false;
  void* P = nullptr;
  Length = 0;
  if (!::VerQueryValueW(Block.data(), win32::Wide(SubBlock).c_str(), &P, &Length) || !P) return false;
  const auto* Q = static_cast<const std::uint8_t*>(P);
  if (Q < Block.data() || Q > Block.data() + Block.size()) return false;
  Data = Q;
  Left = static_cast<std::size_t>(Block.data() + Block.size() - Q);
  return true;
}

}  // namespace

std::uint32_t GetFileVersionInfoSize(const std::string& FileName) {
  DWORD Handle = 0;
  return ::GetFileVersionInfoSizeW(win32::Wide(FileName).c_str(), &Handle);
}

bool GetFileVersionInfo(const std::string& FileName, std::vector<std::uint8_t>& Block) {
  if (Block.empty()) return false;
  return ::GetFileVersionInfoW(win32::Wide(FileName).c_str(), 0, static_cast<DWORD>(Block.size()), Block.data()) != 0;
}

bool VerQueryTranslation(const std::vector<std::uint8_t>& Block, std::uint16_t& Language, std::uint16_t& CodePage) {
  const std::uint8_t* P;
  std::size_t Left;
  UINT Length;
  if (!Query(Block, "\\VarFileInfo\\Translation", P, Left, Length) || Length < 4 || Left < 4) return false;
  Language = static_cast<std::uint16_t>(P[0] | P[1] << 8);
  CodePage = static_cast<std::uint16_t>(P[2] | P[3] << 8);
  return true;
}

bool VerQueryString(const std::vector<std::uint8_t>& Block, const std::string& SubBlock, std::string& Text) {
  const std::uint8_t* P;
  std::size_t Left;
  UINT Length;
  if (!Query(Block, SubBlock, P, Left, Length)) return false;
  const std::size_t Limit = std::min<std::size_t>(Length, Left / sizeof(wchar_t));
  std::wstring Wide;
  for (std::size_t K = 0; K < Limit; ++K) {
    const wchar_t C = static_cast<wchar_t>(P[2 * K] | P[2 * K + 1] << 8);
    if (C == 0) break;
    Wide += C;
  }
  Text = win32::Narrow(Wide.c_str(), static_cast<int>(Wide.size()));
  return true;
}

}  // namespace plat
