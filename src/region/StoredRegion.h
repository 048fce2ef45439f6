// Pictures and region data as a form stores them, and the copies the build
// stores in the program.
//
// A binary property is its name (a length byte and the characters), the value
// type 10, a 32-bit little-endian byte count and exactly that many bytes. The
// region data of a shaped component is the property "RgnData" holding the
// block itself (count 0 when there is none); its picture is "RgnBitmap.Data",
// whose bytes are the picture's own stored form: a 32-bit length and a bitmap
// file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Graphics.h"
#include "framework/Streams.h"

constexpr std::uint8_t ValueTypeBinary = 10;

void WriteBinaryProperty(TStream& Stream, const std::string& Name, const std::vector<std::uint8_t>& Value);
// Raises EReadError unless the stream holds a whole binary property of that
// name at its position.
std::vector<std::uint8_t> ReadBinaryProperty(TStream& Stream, const std::string& Name);

void WriteRgnData(TStream& Stream, const std::vector<std::uint8_t>& Block);
// An empty result for a count of 0; a block that is not valid region data
// raises EReadError.
std::vector<std::uint8_t> ReadRgnData(TStream& Stream);

// The picture property under the given path ("RgnBitmap.Data", "Glyph.Data").
void WriteBitmapProperty(TStream& Stream, const std::string& Name, const TBitmap& Bitmap);
void ReadBitmapProperty(TStream& Stream, const std::string& Name, TBitmap& Bitmap);

// What the build stores for a shaped control: its "RgnBitmap.Data", then its
// "RgnData", as program data named after the control ("Rgn1").
void WriteStoredRegion(TStream& Stream, const TBitmap& Bitmap, const std::vector<std::uint8_t>& Block);
void ReadStoredRegion(TStream& Stream, TBitmap& Bitmap, std::vector<std::uint8_t>& Block);

// Raise EResNotFound when the program holds no data of that name, and the
// errors above when it is broken.
void LoadStoredRegion(const std::string& ControlName, TBitmap& Bitmap, std::vector<std::uint8_t>& Block);
// A button's glyph, stored as "Glyph.Data" under the button's name ("ButtonPause").
void LoadStoredGlyph(const std::string& ControlName, TBitmap& Glyph);
