#include "framework/Graphics.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr std::uint32_t BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitFields = 3, BiAlphaBitFields = 6;
constexpr std::int64_t MaxSide = 1 << 20;
constexpr std::size_t FileHeaderSize = 14, InfoHeaderSize = 40, CoreHeaderSize = 12, V5HeaderSize = 124;

constexpr TBitMasks Masks555{0x7C00, 0x03E0, 0x001F};
constexpr TBitMasks Masks565{0xF800, 0x07E0, 0x001F};
constexpr TBitMasks Masks888{0xFF0000, 0x00FF00, 0x0000FF};

[[noreturn]] void Invalid(const char* Why) { throw EInvalidGraphic(Why); }

int BitsOf(TPixelFormat Format, int CustomBits) {
  switch (Format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pfCustom: return CustomBits;
    case pfDevice:
    case pf32bit: return 32;
  }
  return 32;
}

bool IsPaletteFormat(TPixelFormat Format) { return Format == pf1bit || Format == pf4bit || Format == pf8bit; }

std::uint64_t RowBytesFor(std::uint64_t Width, int Bits) { return (Width * static_cast<std::uint64_t>(Bits) + 31) / 32 * 4; }

// A mask's channel scaled to 8 bits; narrower channels repeat their bits so
// that full scale stays full scale.
std::uint8_t Extract(std::uint32_t Value, std::uint32_t Mask) {
  if (Mask == 0) return 0;
  const int Shift = std::countr_zero(Mask);
  const int Bits = std::popcount(Mask);
  const std::uint32_t V = (Value & Mask) >> Shift;
  if (Bits >= 8) return static_cast<std::uint8_t>(V >> (Bits - 8));
  std::uint32_t R = 0;
  int Filled = 0;
  while (Filled < 8) {
    R = (R << Bits) | V;
    Filled += Bits;
  }
  return static_cast<std::uint8_t>(R >> (Filled - 8));
}

std::uint32_t Insert(std::uint8_t Channel, std::uint32_t Mask) {
  if (Mask == 0) return 0;
  const int Shift = std::countr_zero(Mask);
  const int Bits = std::popcount(Mask);
  const std::uint32_t V = Bits >= 8 ? static_cast<std::uint32_t>(Channel) << (Bits - 8) : Channel >> (8 - Bits);
  return (V << Shift) & Mask;
}

bool Contiguous(std::uint32_t Mask) {
  if (Mask == 0) return true;
  const std::uint32_t Low = Mask >> std::countr_zero(Mask);
  return (Low & (Low + 1)) == 0;
}

void CheckMasks(int Bits, const TBitMasks& Masks) {
  const std::uint64_t Limit = Bits == 16 ? 0xFFFF : 0xFFFFFFFF;
  for (std::uint32_t M : {Masks.Red, Masks.Green, Masks.Blue})
    if (!Contiguous(M) || M > Limit) Invalid("Unsupported bitmap colour masks");
}

std::vector<TPaletteEntry> FixedPalette(int Bits) {
  std::vector<TPaletteEntry> P;
  auto Add = [&P](int R, int G, int B) {
    P.push_back(TPaletteEntry{static_cast<std::uint8_t>(B), static_cast<std::uint8_t>(G), static_cast<std::uint8_t>(R), 0});
  };
  if (Bits == 1) {
    Add(0, 0, 0);
    Add(255, 255, 255);
  } else if (Bits == 4) {
    static const int Vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                   {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                   {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                   {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    for (const auto& C : Vga) Add(C[0], C[1], C[2]);
  } else {
    for (int R = 0; R < 6; ++R)
      for (int G = 0; G < 6; ++G)
        for (int B = 0; B < 6; ++B) Add(R * 51, G * 51, B * 51);
    for (int I = 0; I < 40; ++I) Add(I * 255 / 39, I * 255 / 39, I * 255 / 39);
  }
  return P;
}

TPaletteEntry EntryOf(TColor C) { return TPaletteEntry{BlueOf(C), GreenOf(C), RedOf(C), 0}; }
TColor ColorOf(const TPaletteEntry& E) { return RGBColor(E.Red, E.Green, E.Blue); }

void SetIndexAt(std::uint8_t* Row, int X, int Bits, std::uint32_t Index) {
  if (Bits == 8) {
    Row[X] = static_cast<std::uint8_t>(Index);
  } else if (Bits == 4) {
    const int Shift = (X & 1) ? 0 : 4;
    Row[X >> 1] = static_cast<std::uint8_t>((Row[X >> 1] & ~(0x0F << Shift)) | ((Index & 0x0F) << Shift));
  } else {
    const int Shift = 7 - (X & 7);
    Row[X >> 3] = static_cast<std::uint8_t>((Row[X >> 3] & ~(1 << Shift)) | ((Index & 1) << Shift));
  }
}

// Little-endian fields of a header held in memory.
std::uint32_t U16(const std::uint8_t* P) { return static_cast<std::uint32_t>(P[0] | P[1] << 8); }
std::uint32_t U32(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}
void Put16(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  Out.push_back(static_cast<std::uint8_t>(V));
  Out.push_back(static_cast<std::uint8_t>(V >> 8));
}
void Put32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  Put16(Out, V & 0xFFFF);
  Put16(Out, V >> 16);
}

}  // namespace

int TBitmap::BitsPerPixel() const { return BitsOf(FFormat, FCustomBits); }

TBitMasks TBitmap::BitMasks() const {
  switch (FFormat) {
    case pf15bit: return Masks555;
    case pf16bit: return Masks565;
    case pfCustom: return FMasks;
    case pf24bit:
    case pf32bit:
    case pfDevice: return Masks888;
    default: return TBitMasks{};
  }
}

void TBitmap::Allocate(int AWidth, int AHeight, TPixelFormat Format, int CustomBits) {
  if (AWidth < 0 || AHeight < 0) Invalid("Invalid bitmap size");
  const std::uint64_t Row = RowBytesFor(static_cast<std::uint64_t>(AWidth), BitsOf(Format, CustomBits));
  if (AHeight != 0 && Row > (std::uint64_t{1} << 32) / static_cast<std::uint64_t>(AHeight))
    throw EOutOfMemory("Bitmap too large");
  FPixels.assign(static_cast<std::size_t>(Row * static_cast<std::uint64_t>(AHeight)), 0);
  FWidth = AWidth;
  FHeight = AHeight;
  FFormat = Format;
  FCustomBits = CustomBits;
  FRowBytes = static_cast<std::size_t>(Row);
  FEmpty = false;
  if (!IsPaletteFormat(Format)) {
    FPalette.clear();
  } else if (FPalette.empty() || FPalette.size() > (std::size_t{1} << BitsOf(Format, CustomBits))) {
    FPalette = FixedPalette(BitsOf(Format, CustomBits));
  }
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (!FEmpty && AWidth == FWidth && AHeight == FHeight) return;
  TBitmap Old;
  Old.Assign(this);
  Allocate(AWidth, AHeight, FFormat, FCustomBits);
  if (Old.Empty()) return;
  const int Bits = BitsPerPixel();
  const int W = std::min(Old.FWidth, FWidth), H = std::min(Old.FHeight, FHeight);
  for (int Y = 0; Y < H; ++Y) {
    if (Bits >= 8) {
      std::memcpy(ScanLine(Y), Old.ScanLine(Y), static_cast<std::size_t>(W) * static_cast<std::size_t>(Bits / 8));
    } else {
      for (int X = 0; X < W; ++X) SetIndexAt(ScanLine(Y), X, Bits, Old.Index(Old.ScanLine(Y), X));
    }
  }
}

std::uint8_t* TBitmap::ScanLine(int Row) {
  if (Row < 0 || Row >= FHeight) Invalid("Scan line index out of range");
  return FPixels.data() + static_cast<std::size_t>(Row) * FRowBytes;
}

const std::uint8_t* TBitmap::ScanLine(int Row) const { return const_cast<TBitmap*>(this)->ScanLine(Row); }

void TBitmap::SetPalette(const std::vector<TPaletteEntry>& Value) {
  if (!IsPaletteFormat(FFormat)) Invalid("Only palette images have a palette");
  if (Value.empty() || Value.size() > (std::size_t{1} << BitsPerPixel())) Invalid("Bitmap palette count out of range");
  FPalette = Value;
}

std::uint32_t TBitmap::Index(const std::uint8_t* Row, int X) const {
  switch (BitsPerPixel()) {
    case 1: return (Row[X >> 3] >> (7 - (X & 7))) & 1;
    case 4: return (Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 0x0F;
    default: return Row[X];
  }
}

TColor TBitmap::Decode(const std::uint8_t* Row, int X) const {
  switch (FFormat) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
      const std::uint32_t I = Index(Row, X);
      return I < FPalette.size() ? ColorOf(FPalette[I]) : 0;
    }
    case pf24bit: {
      const std::uint8_t* P = Row + 3 * static_cast<std::size_t>(X);
      return RGBColor(P[2], P[1], P[0]);
    }
    case pf32bit:
    case pfDevice: {
      const std::uint8_t* P = Row + 4 * static_cast<std::size_t>(X);
      return RGBColor(P[2], P[1], P[0]);
    }
    default: {
      const std::uint32_t V = BitsPerPixel() == 16 ? U16(Row + 2 * static_cast<std::size_t>(X))
                                                   : U32(Row + 4 * static_cast<std::size_t>(X));
      const TBitMasks M = BitMasks();
      return RGBColor(Extract(V, M.Red), Extract(V, M.Green), Extract(V, M.Blue));
    }
  }
}

void TBitmap::Encode(std::uint8_t* Row, int X, TColor Color) const {
  switch (FFormat) {
    case pf1bit:
    case pf4bit:
    case pf8bit: SetIndexAt(Row, X, BitsPerPixel(), NearestIndex(Color)); return;
    case pf24bit: {
      std::uint8_t* P = Row + 3 * static_cast<std::size_t>(X);
      P[0] = BlueOf(Color), P[1] = GreenOf(Color), P[2] = RedOf(Color);
      return;
    }
    case pf32bit:
    case pfDevice: {
      std::uint8_t* P = Row + 4 * static_cast<std::size_t>(X);
      P[0] = BlueOf(Color), P[1] = GreenOf(Color), P[2] = RedOf(Color), P[3] = 0;
      return;
    }
    default: {
      const TBitMasks M = BitMasks();
      const std::uint32_t V = Insert(RedOf(Color), M.Red) | Insert(GreenOf(Color), M.Green) | Insert(BlueOf(Color), M.Blue);
      const int Bytes = BitsPerPixel() / 8;
      for (int K = 0; K < Bytes; ++K) Row[static_cast<std::size_t>(X) * Bytes + K] = static_cast<std::uint8_t>(V >> (8 * K));
    }
  }
}

std::uint8_t TBitmap::NearestIndex(TColor Color) const {
  std::size_t Best = 0;
  long BestDistance = std::numeric_limits<long>::max();
  for (std::size_t I = 0; I < FPalette.size(); ++I) {
    const long R = long{FPalette[I].Red} - RedOf(Color), G = long{FPalette[I].Green} - GreenOf(Color),
               B = long{FPalette[I].Blue} - BlueOf(Color);
    const long D = R * R + G * G + B * B;
    if (D < BestDistance) {
      Best = I;
      BestDistance = D;
      if (D == 0) break;
    }
  }
  return static_cast<std::uint8_t>(Best);
}

TColor TBitmap::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0;
  return Decode(ScanLine(Y), X);
}

void TBitmap::SetPixel(int X, int Y, TColor Color) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  Encode(ScanLine(Y), X, Color);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pfCustom) {
    SetCustomFormat(32, Masks888);
    return;
  }
  if (Value == FFormat) return;
  TBitmap Old;
  Old.Assign(this);
  const bool WasEmpty = FEmpty;
  const std::vector<TPaletteEntry> OldPalette = FPalette;
  const std::size_t Entries = std::size_t{1} << BitsOf(Value, 32);
  if (IsPaletteFormat(Value)) {
    if (IsPaletteFormat(Old.FFormat) && OldPalette.size() <= Entries) {
      FPalette = OldPalette;
    } else {
      // The image's own colours when they fit, so that nothing changes.
      std::vector<TColor> Seen;
      for (int Y = 0; Y < Old.FHeight && Seen.size() <= Entries; ++Y)
        for (int X = 0; X < Old.FWidth && Seen.size() <= Entries; ++X) {
          const TColor C = Old.Pixel(X, Y);
          if (std::find(Seen.begin(), Seen.end(), C) == Seen.end()) Seen.push_back(C);
        }
      FPalette.clear();
      if (!Seen.empty() && Seen.size() <= Entries) {
        for (TColor C : Seen) FPalette.push_back(EntryOf(C));
      } else {
        FPalette = FixedPalette(BitsOf(Value, 32));
      }
    }
  }
  Allocate(Old.FWidth, Old.FHeight, Value, 32);
  FEmpty = WasEmpty;
  const bool KeepIndices = IsPaletteFormat(Old.FFormat) && IsPaletteFormat(Value) && FPalette == OldPalette;
  for (int Y = 0; Y < FHeight; ++Y) {
    const std::uint8_t* From = Old.ScanLine(Y);
    std::uint8_t* To = ScanLine(Y);
    for (int X = 0; X < FWidth; ++X) {
      const std::uint32_t I = KeepIndices ? Old.Index(From, X) : 0;
      if (KeepIndices && I < Entries)
        SetIndexAt(To, X, BitsPerPixel(), I);
      else
        Encode(To, X, Old.Decode(From, X));
    }
  }
}

void TBitmap::SetCustomFormat(int BitsPerPixel, const TBitMasks& Masks) {
  if (BitsPerPixel != 16 && BitsPerPixel != 32) Invalid("Bit-field images have 16 or 32 bits per pixel");
  CheckMasks(BitsPerPixel, Masks);
  TBitmap Old;
  Old.Assign(this);
  const bool WasEmpty = FEmpty;
  Allocate(Old.FWidth, Old.FHeight, pfCustom, BitsPerPixel);
  FEmpty = WasEmpty;
  FMasks = Masks;
  for (int Y = 0; Y < FHeight; ++Y)
    for (int X = 0; X < FWidth; ++X) Encode(ScanLine(Y), X, Old.Decode(Old.ScanLine(Y), X));
}

void TBitmap::Assign(const TBitmap* Source) {
  if (Source == this) return;
  if (!Source) {
    TBitmap Nothing;
    Swap(Nothing);
    return;
  }
  FEmpty = Source->FEmpty;
  FWidth = Source->FWidth;
  FHeight = Source->FHeight;
  FFormat = Source->FFormat;
  FCustomBits = Source->FCustomBits;
  FMasks = Source->FMasks;
  FRowBytes = Source->FRowBytes;
  FPixels = Source->FPixels;
  FPalette = Source->FPalette;
}

void TBitmap::Swap(TBitmap& Other) {
  std::swap(FEmpty, Other.FEmpty);
  std::swap(FWidth, Other.FWidth);
  std::swap(FHeight, Other.FHeight);
  std::swap(FFormat, Other.FFormat);
  std::swap(FCustomBits, Other.FCustomBits);
  std::swap(FMasks, Other.FMasks);
  std::swap(FRowBytes, Other.FRowBytes);
  FPixels.swap(Other.FPixels);
  FPalette.swap(Other.FPalette);
}

// ---------------------------------------------------------------------------
// Bitmap files

void TBitmap::LoadFromStream(TStream& Stream) {
  const std::int64_t Start = Stream.Position();
  const std::int64_t Available = Stream.Size() - Start;
  auto ReadAt = [&](std::uint64_t Offset, void* Buffer, std::uint64_t Count) {
    if (Offset > static_cast<std::uint64_t>(Available) || Count > static_cast<std::uint64_t>(Available) - Offset)
      Invalid("Bitmap file is truncated");
    Stream.SetPosition(Start + static_cast<std::int64_t>(Offset));
    Stream.ReadBuffer(Buffer, static_cast<std::int64_t>(Count));
  };

  std::uint8_t Header[FileHeaderSize + V5HeaderSize] = {};
  ReadAt(0, Header, FileHeaderSize + 4);
  if (Header[0] != 'B' || Header[1] != 'M') Invalid("Not a bitmap file");
  const std::uint32_t PixelOffset = U32(Header + 10);
  const std::uint32_t InfoSize = U32(Header + 14);
  // The core header, the information header and its versions 2 to 5.
  if (InfoSize != CoreHeaderSize && InfoSize != InfoHeaderSize && InfoSize != 52 && InfoSize != 56 && InfoSize != 108 &&
      InfoSize != V5HeaderSize)
    Invalid("Unsupported bitmap header");
  ReadAt(FileHeaderSize, Header + FileHeaderSize, InfoSize);
  const std::uint8_t* Info = Header + FileHeaderSize;

  const bool Core = InfoSize == CoreHeaderSize;
  std::int64_t Width, Height;
  std::uint32_t Bits, Compression = BiRgb, ColorsUsed = 0;
  if (Core) {
    Width = U16(Info + 4);
    Height = U16(Info + 6);
    Bits = U16(Info + 10);
  } else {
    Width = static_cast<std::int32_t>(U32(Info + 4));
    Height = static_cast<std::int32_t>(U32(Info + 8));
    Bits = U16(Info + 14);
    Compression = U32(Info + 16);
    ColorsUsed = U32(Info + 32);
  }
  const bool TopDown = Height < 0;
  if (TopDown) Height = -Height;
  // Beyond a million pixels a side no picture of this program goes; the limit
  // also keeps images without pixel bytes (width 0) from costing time.
  if (Width < 0 || Width > MaxSide || Height > MaxSide) Invalid("Invalid bitmap size");
  if (Bits != 1 && Bits != 4 && Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32)
    Invalid("Unsupported bits per pixel in bitmap");
  if (Compression == BiRle8 || Compression == BiRle4) Invalid("Compressed bitmaps are not supported");
  const bool Fields = Compression == BiBitFields || Compression == BiAlphaBitFields;
  if (!(Compression == BiRgb || (Fields && (Bits == 16 || Bits == 32)))) Invalid("Unsupported bitmap compression");
  if (Core && Bits == 16) Invalid("Unsupported bits per pixel in bitmap");

  std::uint64_t HeaderEnd = FileHeaderSize + InfoSize;
  TBitMasks Masks = Bits == 16 ? Masks555 : Masks888;
  if (Fields) {
    std::uint8_t M[12];
    if (InfoSize >= InfoHeaderSize + 12) {
      std::memcpy(M, Info + InfoHeaderSize, 12);
    } else {
      ReadAt(HeaderEnd, M, 12);
      HeaderEnd += Compression == BiAlphaBitFields ? 16 : 12;
    }
    Masks = TBitMasks{U32(M), U32(M + 4), U32(M + 8)};
  }

  std::vector<TPaletteEntry> Palette;
  if (Bits <= 8) {
    const std::uint32_t Full = 1u << Bits;
    const std::uint32_t Count = ColorsUsed == 0 ? Full : ColorsUsed;
    if (Count > Full) Invalid("Bitmap palette count out of range");
    const std::size_t EntrySize = Core ? 3 : 4;
    std::vector<std::uint8_t> Table(Count * EntrySize);
    ReadAt(HeaderEnd, Table.data(), Table.size());
    HeaderEnd += Table.size();
    for (std::uint32_t I = 0; I < Count; ++I) {
      const std::uint8_t* E = Table.data() + I * EntrySize;
      Palette.push_back(TPaletteEntry{E[0], E[1], E[2], 0});
    }
  }
  if (PixelOffset < HeaderEnd) Invalid("Bitmap pixels overlap its header");

  TPixelFormat Format;
  int CustomBits = 32;
  switch (Bits) {
    case 1: Format = pf1bit; break;
    case 4: Format = pf4bit; break;
    case 8: Format = pf8bit; break;
    case 24: Format = pf24bit; break;
    case 16:
      Format = Masks == Masks555 ? pf15bit : Masks == Masks565 ? pf16bit : pfCustom;
      CustomBits = 16;
      break;
    default: Format = Masks == Masks888 ? pf32bit : pfCustom; break;
  }
  const std::uint64_t Row = RowBytesFor(static_cast<std::uint64_t>(Width), static_cast<int>(Bits));
  if (Row != 0 && static_cast<std::uint64_t>(Height) > static_cast<std::uint64_t>(Available) / Row)
    Invalid("Bitmap file is truncated");

  TBitmap Image;
  if (Format == pfCustom) {
    CheckMasks(CustomBits, Masks);
    Image.FMasks = Masks;
  }
  Image.FPalette = Palette;
  Image.Allocate(static_cast<int>(Width), static_cast<int>(Height), Format, CustomBits);
  ReadAt(PixelOffset, Image.FPixels.data(), Image.FPixels.size());
  if (!TopDown)
    for (int Y = 0; Y < Image.FHeight / 2; ++Y)
      std::swap_ranges(Image.ScanLine(Y), Image.ScanLine(Y) + Row, Image.ScanLine(Image.FHeight - 1 - Y));
  Stream.SetPosition(Start + static_cast<std::int64_t>(PixelOffset + Image.FPixels.size()));
  Swap(Image);
}

std::vector<std::uint8_t> TBitmap::SaveToBytes() const {
  std::vector<std::uint8_t> Out;
  if (FEmpty) return Out;
  const int Bits = BitsPerPixel();
  const bool Fields = FFormat == pf16bit || FFormat == pfCustom;
  const std::uint32_t PaletteBytes = static_cast<std::uint32_t>(FPalette.size() * 4);
  const std::uint32_t Offset = FileHeaderSize + InfoHeaderSize + (Fields ? 12 : 0) + PaletteBytes;
  const std::uint32_t ImageBytes = static_cast<std::uint32_t>(FPixels.size());
  Out.reserve(Offset + ImageBytes);
  Out.push_back('B');
  Out.push_back('M');
  Put32(Out, Offset + ImageBytes);
  Put32(Out, 0);
  Put32(Out, Offset);
  Put32(Out, InfoHeaderSize);
  Put32(Out, static_cast<std::uint32_t>(FWidth));
  Put32(Out, static_cast<std::uint32_t>(FHeight));
  Put16(Out, 1);
  Put16(Out, static_cast<std::uint32_t>(Bits));
  Put32(Out, Fields ? BiBitFields : BiRgb);
  Put32(Out, ImageBytes);
  Put32(Out, 0);
  Put32(Out, 0);
  Put32(Out, static_cast<std::uint32_t>(FPalette.size()));
  Put32(Out, 0);
  if (Fields) {
    const TBitMasks M = BitMasks();
    Put32(Out, M.Red);
    Put32(Out, M.Green);
    Put32(Out, M.Blue);
  }
  for (const TPaletteEntry& E : FPalette) {
    Out.push_back(E.Blue);
    Out.push_back(E.Green);
    Out.push_back(E.Red);
    Out.push_back(0);
  }
  for (int Y = FHeight - 1; Y >= 0; --Y) Out.insert(Out.end(), ScanLine(Y), ScanLine(Y) + FRowBytes);
  return Out;
}

void TBitmap::SaveToStream(TStream& Stream) const {
  const std::vector<std::uint8_t> Bytes = SaveToBytes();
  Stream.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
}

void TBitmap::LoadFromFile(const std::string& FileName) {
  TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(S);
}

void TBitmap::SaveToFile(const std::string& FileName) const {
  TFileStream S(FileName, fmCreate);
  SaveToStream(S);
}

void TBitmap::ReadData(TStream& Stream) {
  std::uint8_t Length[4];
  if (Stream.Read(Length, 4) != 4) Invalid("Bitmap data is truncated");
  const std::uint32_t Size = U32(Length);
  if (Size > static_cast<std::uint64_t>(Stream.Size() - Stream.Position())) Invalid("Bitmap data is truncated");
  TMemoryStream Data;
  Data.SetSize(Size);
  Stream.ReadBuffer(Data.Memory(), Size);
  if (Size == 0) {
    Clear();
    return;
  }
  Data.SetPosition(0);
  LoadFromStream(Data);
}

void TBitmap::WriteData(TStream& Stream) const {
  const std::vector<std::uint8_t> Bytes = SaveToBytes();
  std::vector<std::uint8_t> Length;
  Put32(Length, static_cast<std::uint32_t>(Bytes.size()));
  Stream.WriteBuffer(Length.data(), 4);
  Stream.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
}
