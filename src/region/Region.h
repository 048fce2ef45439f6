// The region unit: shapes of windows and buttons taken from their pictures.
// The conversion runs when a picture is assigned (at design time, or by the
// build for the checker's own window); running programs load the stored
// region data and never scan pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/Graphics.h"

// The opaque part of Bitmap as a region data block (see RegionData.h), in
// banded order. The transparent value is that of the bottom-left pixel: a
// palette index in 8-bit images, blue, green and red in 24-bit ones. Other
// formats are first converted in place, and stay converted: 1- and 4-bit
// images to 8 bits, all others to 24 bits.
//
// Raises EInvalidGraphic for no bitmap, an empty one, one of width or height
// 0, or a row of more than 100 runs; EConvertError when the block cannot be
// produced; Exception when memory runs out while scanning or producing it.
std::vector<std::uint8_t> BitmapToRegionData(TBitmap* Bitmap);
