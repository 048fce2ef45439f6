#include "region/StoredRegion.h"

#include "platform/ProgramData.h"
#include "region/RegionData.h"

namespace {

[[noreturn]] void Broken(const std::string& Name) { throw EReadError("Stored property " + Name + " is not valid"); }

void Write32(TStream& Stream, std::uint32_t V) {
  const std::uint8_t B[4] = {static_cast<std::uint8_t>(V), static_cast<std::uint8_t>(V >> 8),
                             static_cast<std::uint8_t>(V >> 16), static_cast<std::uint8_t>(V >> 24)};
  Stream.WriteBuffer(B, 4);
}

// The program's data of that name, as a stream of its own.
void LoadProgramData(const std::string& Name, TMemoryStream& Stream) {
  const std::uint8_t* Data = nullptr;
  std::size_t Size = 0;
  if (!plat::FindProgramData(Name.c_str(), Data, Size)) throw EResNotFound("Resource " + Name + " not found");
  Stream.WriteBuffer(Data, static_cast<std::int64_t>(Size));
  Stream.SetPosition(0);
}

}  // namespace

void WriteBinaryProperty(TStream& Stream, const std::string& Name, const std::vector<std::uint8_t>& Value) {
  if (Name.empty() || Name.size() > 255) throw EWriteError("Property name " + Name + " cannot be stored");
  const std::uint8_t Length = static_cast<std::uint8_t>(Name.size());
  Stream.WriteBuffer(&Length, 1);
  Stream.WriteBuffer(Name.data(), static_cast<std::int64_t>(Name.size()));
  Stream.WriteBuffer(&ValueTypeBinary, 1);
  Write32(Stream, static_cast<std::uint32_t>(Value.size()));
  Stream.WriteBuffer(Value.data(), static_cast<std::int64_t>(Value.size()));
}

std::vector<std::uint8_t> ReadBinaryProperty(TStream& Stream, const std::string& Name) {
  std::uint8_t Length = 0;
  if (Stream.Read(&Length, 1) != 1 || Length != Name.size()) Broken(Name);
  std::string Found(Length, '\0');
  if (Stream.Read(Found.data(), Length) != Length || Found != Name) Broken(Name);
  std::uint8_t Head[5];
  if (Stream.Read(Head, 5) != 5 || Head[0] != ValueTypeBinary) Broken(Name);
  const std::uint32_t Count = static_cast<std::uint32_t>(Head[1]) | static_cast<std::uint32_t>(Head[2]) << 8 |
                              static_cast<std::uint32_t>(Head[3]) << 16 | static_cast<std::uint32_t>(Head[4]) << 24;
  if (Count > static_cast<std::uint64_t>(Stream.Size() - Stream.Position())) Broken(Name);
  std::vector<std::uint8_t> Value(Count);
  Stream.ReadBuffer(Value.data(), Count);
  return Value;
}

void WriteRgnData(TStream& Stream, const std::vector<std::uint8_t>& Block) {
  WriteBinaryProperty(Stream, "RgnData", Block);
}

std::vector<std::uint8_t> ReadRgnData(TStream& Stream) {
  std::vector<std::uint8_t> Block = ReadBinaryProperty(Stream, "RgnData");
  if (!Block.empty()) ReadRegionData(Block);
  return Block;
}

void WriteBitmapProperty(TStream& Stream, const std::string& Name, const TBitmap& Bitmap) {
  TMemoryStream Data;
  Bitmap.WriteData(Data);
  WriteBinaryProperty(Stream, Name, std::vector<std::uint8_t>(Data.Memory(), Data.Memory() + Data.Size()));
}

void ReadBitmapProperty(TStream& Stream, const std::string& Name, TBitmap& Bitmap) {
  const std::vector<std::uint8_t> Value = ReadBinaryProperty(Stream, Name);
  TMemoryStream Data;
  Data.WriteBuffer(Value.data(), static_cast<std::int64_t>(Value.size()));
  Data.SetPosition(0);
  TBitmap Read;
  Read.ReadData(Data);
  if (Data.Position() != Data.Size()) Broken(Name);
  Bitmap.Assign(&Read);
}

void WriteStoredRegion(TStream& Stream, const TBitmap& Bitmap, const std::vector<std::uint8_t>& Block) {
  WriteBitmapProperty(Stream, "RgnBitmap.Data", Bitmap);
  WriteRgnData(Stream, Block);
}

void ReadStoredRegion(TStream& Stream, TBitmap& Bitmap, std::vector<std::uint8_t>& Block) {
  TBitmap Picture;
  ReadBitmapProperty(Stream, "RgnBitmap.Data", Picture);
  Block = ReadRgnData(Stream);
  Bitmap.Assign(&Picture);
}

void LoadStoredRegion(const std::string& ControlName, TBitmap& Bitmap, std::vector<std::uint8_t>& Block) {
  TMemoryStream Stream;
  LoadProgramData(ControlName, Stream);
  ReadStoredRegion(Stream, Bitmap, Block);
}

void LoadStoredGlyph(const std::string& ControlName, TBitmap& Glyph) {
  TMemoryStream Stream;
  LoadProgramData(ControlName, Stream);
  ReadBitmapProperty(Stream, "Glyph.Data", Glyph);
}
