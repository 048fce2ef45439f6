// The checker's artwork and what the build stores of it, made at build time:
//
//   dravin_artwork draw DIR          the window picture, the seven button
//                                    glyphs and the program icon
//   dravin_artwork store DIR         the window's outline computed once from
//                                    its picture, and the glyphs, in the
//                                    form's stored-property layout (*.dat)
//   dravin_artwork embed OUT NAME=FILE...
//                                    a C++ source that registers the files as
//                                    program data (builds without resources)
//
// The window picture is a light panel on a grey C0 C0 C0 surround, which is
// the key colour of its outline: a folder-like tab at the top left carries the
// title, and the body below it holds the status line, the options and the
// buttons. Its corners are chosen so that the outline comes to 34 rectangles
// within the box 1, 2 - 444, 182.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "framework/Graphics.h"
#include "framework/Streams.h"
#include "region/Region.h"
#include "region/StoredRegion.h"

namespace {

constexpr int WindowWidth = 445, WindowHeight = 183;
constexpr TColor Surround = RGBColor(0xC0, 0xC0, 0xC0);
constexpr TColor GlyphKey = RGBColor(0xFF, 0x00, 0xFF);
const char* const GlyphNames[] = {"ButtonPause", "ButtonStop", "ButtonSkip", "ButtonPlay",
                                  "ButtonHome",  "ButtonAbout", "ButtonMin"};

// The window's outline. Tab: left 1 to 176, from the top 2, rounded 12 at both
// top corners. Body: from row 38 down to 182, left 1 to 444, rounded 20 at the
// top right and both bottom corners; a concave fillet of 6 joins the tab's
// right side to the body's top edge.
constexpr int Left = 1, Top = 2, Right = 444, Bottom = 182;
constexpr int TabRight = 176, BodyTop = 38, TabRadius = 12, BodyRadius = 20, FilletRadius = 6;

double Sq(double V) { return V * V; }

// Whether the centre of a pixel lies inside a rectangle whose corners are
// rounded with the given radii (0: square), top-left first, clockwise.
bool InRounded(int X, int Y, int L, int T, int R, int B, const int (&Radius)[4]) {
  if (X < L || X >= R || Y < T || Y >= B) return false;
  const double Cx = X + 0.5, Cy = Y + 0.5;
  const double Ox[4] = {L + 1.0 * Radius[0], R - 1.0 * Radius[1], R - 1.0 * Radius[2], L + 1.0 * Radius[3]};
  const double Oy[4] = {T + 1.0 * Radius[0], T + 1.0 * Radius[1], B - 1.0 * Radius[2], B - 1.0 * Radius[3]};
  for (int K = 0; K < 4; ++K) {
    if (Radius[K] == 0) continue;
    const bool OutX = K == 0 || K == 3 ? Cx < Ox[K] : Cx > Ox[K];
    const bool OutY = K <= 1 ? Cy < Oy[K] : Cy > Oy[K];
    if (OutX && OutY && Sq(Cx - Ox[K]) + Sq(Cy - Oy[K]) > Sq(Radius[K])) return false;
  }
  return true;
}

bool InWindow(int X, int Y) {
  if (InRounded(X, Y, Left, Top, TabRight, BodyTop + TabRadius, {TabRadius, TabRadius, 0, 0})) return true;
  if (InRounded(X, Y, Left, BodyTop, Right, Bottom, {0, BodyRadius, BodyRadius, BodyRadius})) return true;
  if (X >= TabRight && X < TabRight + FilletRadius && Y >= BodyTop - FilletRadius && Y < BodyTop)
    return Sq(X + 0.5 - (TabRight + FilletRadius)) + Sq(Y + 0.5 - (BodyTop - FilletRadius)) >= Sq(FilletRadius);
  return false;
}

bool InTab(int X, int Y) { return Y < BodyTop + 2 && X < TabRight + FilletRadius && InWindow(X, Y); }

TColor Mix(TColor A, TColor B, double T) {
  auto Channel = [T](int P, int Q) { return static_cast<std::uint8_t>(std::lround(P + (Q - P) * T)); };
  return RGBColor(Channel(RedOf(A), RedOf(B)), Channel(GreenOf(A), GreenOf(B)), Channel(BlueOf(A), BlueOf(B)));
}

void FillRect(TBitmap& B, int L, int T, int R, int Bo, TColor C) {
  for (int Y = T; Y < Bo; ++Y)
    for (int X = L; X < R; ++X) B.SetPixel(X, Y, C);
}

// A sunken well: dark above and left, light below and right.
void Well(TBitmap& B, int L, int T, int R, int Bo, TColor Face) {
  FillRect(B, L, T, R, Bo, Face);
  const TColor Dark = RGBColor(0x7A, 0x92, 0xAE), Light = RGBColor(0xFF, 0xFF, 0xFF);
  for (int X = L; X < R; ++X) B.SetPixel(X, T, Dark), B.SetPixel(X, Bo - 1, Light);
  for (int Y = T; Y < Bo; ++Y) B.SetPixel(L, Y, Dark), B.SetPixel(R - 1, Y, Light);
}

void DrawWindow(TBitmap& B) {
  B.SetPixelFormat(pf24bit);
  B.SetSize(WindowWidth, WindowHeight);
  const TColor TopFace = RGBColor(0xF5, 0xF8, 0xFC), BottomFace = RGBColor(0xD9, 0xE4, 0xF0);
  const TColor TabFace = RGBColor(0xE2, 0xEC, 0xF8), Outline = RGBColor(0x3C, 0x5A, 0x80);
  for (int Y = 0; Y < WindowHeight; ++Y)
    for (int X = 0; X < WindowWidth; ++X) {
      if (!InWindow(X, Y)) {
        B.SetPixel(X, Y, Surround);
        continue;
      }
      TColor Face = Mix(TopFace, BottomFace, static_cast<double>(Y - Top) / (Bottom - Top));
      if (InTab(X, Y)) Face = Mix(TabFace, Face, std::max(0.0, (Y - (BodyTop - 8)) / 10.0));
      const bool Edge = !InWindow(X - 1, Y) || !InWindow(X + 1, Y) || !InWindow(X, Y - 1) || !InWindow(X, Y + 1);
      const bool Inner = !InWindow(X - 2, Y) || !InWindow(X, Y - 2);
      B.SetPixel(X, Y, Edge ? Outline : Inner ? RGBColor(0xFF, 0xFF, 0xFF) : Face);
    }
  // The status line, the options and a rule above the run buttons.
  Well(B, 20, 44, 356, 77, RGBColor(0xFB, 0xFD, 0xFF));
  Well(B, 24, 84, 400, 132, RGBColor(0xEE, 0xF5, 0xFB));
  for (int X = 20; X < 425; ++X) B.SetPixel(X, 134, RGBColor(0x9F, 0xB4, 0xCC)), B.SetPixel(X, 135, RGBColor(0xFF, 0xFF, 0xFF));
  // A row of small studs along the tab, right of the title.
  for (int K = 0; K < 4; ++K) FillRect(B, 150 + 5 * K, 12, 152 + 5 * K, 14, Outline);
  // Nothing inside may take the key colour, or the outline would have holes.
  for (int Y = 0; Y < WindowHeight; ++Y)
    for (int X = 0; X < WindowWidth; ++X)
      if (InWindow(X, Y) && B.Pixel(X, Y) == Surround) B.SetPixel(X, Y, RGBColor(0xC1, 0xC1, 0xC1));
}

// ---------------------------------------------------------------------------
// Glyphs: crisp 16 x 16 pictures on the key colour of their bottom-left pixel.

using Shape = std::function<bool(double X, double Y)>;

double SegmentDistance(double Px, double Py, double Ax, double Ay, double Bx, double By) {
  const double Dx = Bx - Ax, Dy = By - Ay;
  double T = ((Px - Ax) * Dx + (Py - Ay) * Dy) / (Dx * Dx + Dy * Dy);
  T = std::max(0.0, std::min(1.0, T));
  return std::hypot(Px - (Ax + T * Dx), Py - (Ay + T * Dy));
}

bool InTriangle(double X, double Y, double Ax, double Ay, double Bx, double By, double Cx, double Cy) {
  auto Side = [](double Px, double Py, double Qx, double Qy, double Rx, double Ry) {
    return (Qx - Px) * (Ry - Py) - (Qy - Py) * (Rx - Px);
  };
  const double D1 = Side(Ax, Ay, Bx, By, X, Y), D2 = Side(Bx, By, Cx, Cy, X, Y), D3 = Side(Cx, Cy, Ax, Ay, X, Y);
  return !((D1 < 0 || D2 < 0 || D3 < 0) && (D1 > 0 || D2 > 0 || D3 > 0));
}

bool InBox(double X, double Y, double L, double T, double R, double B) { return X >= L && X < R && Y >= T && Y < B; }

// Fills the shape in Face and rings it with Edge, so it reads on any button face.
void Paint(TBitmap& G, const Shape& S, TColor Face, TColor Edge) {
  auto Hit = [&S](int X, int Y) { return X >= 0 && Y >= 0 && X < 16 && Y < 16 && S(X + 0.5, Y + 0.5); };
  for (int Y = 0; Y < 16; ++Y)
    for (int X = 0; X < 16; ++X) {
      if (!Hit(X, Y)) continue;
      const bool Border = !Hit(X - 1, Y) || !Hit(X + 1, Y) || !Hit(X, Y - 1) || !Hit(X, Y + 1);
      G.SetPixel(X, Y, Border ? Edge : Face);
    }
}

void DrawGlyph(const std::string& Name, TBitmap& G) {
  G.SetPixelFormat(pf24bit);
  G.SetSize(16, 16);
  FillRect(G, 0, 0, 16, 16, GlyphKey);
  const TColor Navy = RGBColor(0x1E, 0x3C, 0x78), Blue = RGBColor(0x3A, 0x78, 0xD0);
  if (Name == "ButtonPause") {
    Paint(G, [](double X, double Y) { return InBox(X, Y, 3, 2, 7, 14) || InBox(X, Y, 9, 2, 13, 14); }, Blue, Navy);
  } else if (Name == "ButtonStop") {
    Paint(G, [](double X, double Y) { return InBox(X, Y, 3, 3, 13, 13); }, RGBColor(0xD8, 0x3A, 0x2E),
          RGBColor(0x78, 0x14, 0x0E));
  } else if (Name == "ButtonSkip") {
    Paint(G, [](double X, double Y) { return InTriangle(X, Y, 2, 2, 11, 8, 2, 14) || InBox(X, Y, 11, 2, 14, 14); },
          RGBColor(0xE8, 0xA8, 0x20), RGBColor(0x80, 0x50, 0x08));
  } else if (Name == "ButtonPlay") {
    Paint(G, [](double X, double Y) { return InTriangle(X, Y, 3, 1.5, 14, 8, 3, 14.5); }, RGBColor(0x3C, 0xB0, 0x48),
          RGBColor(0x14, 0x5A, 0x1E));
  } else if (Name == "ButtonHome") {
    Paint(G, [](double X, double Y) {
      const bool Roof = InTriangle(X, Y, 8, 0.5, 16, 8, 0, 8);
      const bool Walls = InBox(X, Y, 3, 8, 13, 15);
      return (Roof || Walls) && !InBox(X, Y, 7, 10, 10, 15);
    }, RGBColor(0xF0, 0xE6, 0xC8), RGBColor(0x6E, 0x46, 0x1E));
  } else if (Name == "ButtonAbout") {
    Paint(G, [](double X, double Y) { return std::hypot(X - 8, Y - 8) <= 7.2; }, Blue, Navy);
    Paint(G, [](double X, double Y) { return InBox(X, Y, 7, 3, 9, 5) || InBox(X, Y, 7, 6, 9, 13); },
          RGBColor(0xFF, 0xFF, 0xFF), RGBColor(0xFF, 0xFF, 0xFF));
  } else if (Name == "ButtonMin") {
    Paint(G, [](double X, double Y) { return InBox(X, Y, 3, 10, 13, 13); }, Blue, Navy);
  }
  G.SetPixel(0, 15, GlyphKey);
}

// ---------------------------------------------------------------------------
// The program icon: a blue rounded square with a white tick, smoothed by
// sampling every pixel 4 x 4 times, in several sizes with alpha.

struct IconImage {
  int Size;
  std::vector<std::uint8_t> Bgra;  // top row first
};

IconImage DrawIcon(int Size) {
  IconImage I{Size, std::vector<std::uint8_t>(static_cast<std::size_t>(Size) * Size * 4)};
  const double Radius = Size * 0.22, Inset = Size * 0.04;
  for (int Y = 0; Y < Size; ++Y)
    for (int X = 0; X < Size; ++X) {
      double Body = 0, Tick = 0;
      for (int Sy = 0; Sy < 4; ++Sy)
        for (int Sx = 0; Sx < 4; ++Sx) {
          const double Px = X + (Sx + 0.5) / 4, Py = Y + (Sy + 0.5) / 4;
          const double Qx = std::max(std::abs(Px - Size / 2.0) - (Size / 2.0 - Inset - Radius), 0.0);
          const double Qy = std::max(std::abs(Py - Size / 2.0) - (Size / 2.0 - Inset - Radius), 0.0);
          if (std::hypot(Qx, Qy) <= Radius) Body += 1.0 / 16;
          const double U = Px / Size, V = Py / Size;
          const double D = std::min(SegmentDistance(U, V, 0.25, 0.52, 0.43, 0.70), SegmentDistance(U, V, 0.43, 0.70, 0.76, 0.32));
          if (D <= 0.075) Tick += 1.0 / 16;
        }
      const TColor Face = Mix(RGBColor(0x4A, 0x90, 0xE2), RGBColor(0x1E, 0x4E, 0xA0), static_cast<double>(Y) / Size);
      const TColor C = Mix(Face, RGBColor(0xFF, 0xFF, 0xFF), Tick);
      std::uint8_t* P = I.Bgra.data() + (static_cast<std::size_t>(Y) * Size + X) * 4;
      P[0] = BlueOf(C), P[1] = GreenOf(C), P[2] = RedOf(C);
      P[3] = static_cast<std::uint8_t>(std::lround(255 * Body));
    }
  return I;
}

void Put(std::vector<std::uint8_t>& Out, std::uint32_t V, int Bytes) {
  for (int K = 0; K < Bytes; ++K) Out.push_back(static_cast<std::uint8_t>(V >> (8 * K)));
}

// An icon file: a directory, then per size an information header of twice the
// height, the colour pixels bottom-up and the 1-bit mask (1 = transparent).
std::vector<std::uint8_t> IconFile(const std::vector<IconImage>& Images) {
  std::vector<std::vector<std::uint8_t>> Entries;
  for (const IconImage& I : Images) {
    std::vector<std::uint8_t> E;
    const std::uint32_t MaskRow = (static_cast<std::uint32_t>(I.Size) + 31) / 32 * 4;
    Put(E, 40, 4), Put(E, I.Size, 4), Put(E, I.Size * 2, 4), Put(E, 1, 2), Put(E, 32, 2);
    Put(E, 0, 4), Put(E, I.Size * I.Size * 4 + MaskRow * I.Size, 4), Put(E, 0, 4), Put(E, 0, 4), Put(E, 0, 4), Put(E, 0, 4);
    for (int Y = I.Size - 1; Y >= 0; --Y)
      E.insert(E.end(), I.Bgra.begin() + Y * I.Size * 4, I.Bgra.begin() + (Y + 1) * I.Size * 4);
    for (int Y = I.Size - 1; Y >= 0; --Y) {
      std::vector<std::uint8_t> Row(MaskRow, 0);
      for (int X = 0; X < I.Size; ++X)
        if (I.Bgra[(static_cast<std::size_t>(Y) * I.Size + X) * 4 + 3] == 0) Row[X / 8] |= 0x80 >> (X % 8);
      E.insert(E.end(), Row.begin(), Row.end());
    }
    Entries.push_back(std::move(E));
  }
  std::vector<std::uint8_t> Out;
  Put(Out, 0, 2), Put(Out, 1, 2), Put(Out, static_cast<std::uint32_t>(Images.size()), 2);
  std::uint32_t Offset = 6 + 16 * static_cast<std::uint32_t>(Images.size());
  for (std::size_t K = 0; K < Images.size(); ++K) {
    Put(Out, Images[K].Size & 0xFF, 1), Put(Out, Images[K].Size & 0xFF, 1), Put(Out, 0, 1), Put(Out, 0, 1);
    Put(Out, 1, 2), Put(Out, 32, 2), Put(Out, static_cast<std::uint32_t>(Entries[K].size()), 4), Put(Out, Offset, 4);
    Offset += static_cast<std::uint32_t>(Entries[K].size());
  }
  for (const auto& E : Entries) Out.insert(Out.end(), E.begin(), E.end());
  return Out;
}

// ---------------------------------------------------------------------------

void WriteBytes(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
  TFileStream S(Name, fmCreate);
  S.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const std::string& Name) {
  TMemoryStream M;
  M.LoadFromFile(Name);
  return std::vector<std::uint8_t>(M.Memory(), M.Memory() + M.Size());
}

void Draw(const std::string& Dir) {
  TBitmap Window;
  DrawWindow(Window);
  Window.SaveToFile(Dir + "/window.bmp");
  for (const char* Name : GlyphNames) {
    TBitmap Glyph;
    DrawGlyph(Name, Glyph);
    Glyph.SaveToFile(Dir + "/" + Name + ".bmp");
  }
  std::vector<IconImage> Icons;
  for (int Size : {16, 24, 32, 48}) Icons.push_back(DrawIcon(Size));
  WriteBytes(Dir + "/mainicon.ico", IconFile(Icons));
}

void Store(const std::string& Dir) {
  TBitmap Window;
  Window.LoadFromFile(Dir + "/window.bmp");
  TBitmap Converted;
  Converted.Assign(&Window);
  const std::vector<std::uint8_t> Block = BitmapToRegionData(&Converted);
  TMemoryStream Out;
  WriteStoredRegion(Out, Window, Block);
  Out.SaveToFile(Dir + "/Rgn1.dat");
  for (const char* Name : GlyphNames) {
    TBitmap Glyph;
    Glyph.LoadFromFile(Dir + "/" + Name + ".bmp");
    TMemoryStream G;
    WriteBitmapProperty(G, "Glyph.Data", Glyph);
    G.SaveToFile(Dir + "/" + Name + ".dat");
  }
}

void Embed(const std::string& Output, int Count, char** Items) {
  std::string Text =
      "// Generated by dravin_artwork embed: program data for builds without resources.\n"
      "#include \"platform/ProgramData.h\"\n\nnamespace {\n";
  std::string Registrations;
  for (int K = 0; K < Count; ++K) {
    const std::string Item = Items[K];
    const std::size_t Equals = Item.find('=');
    if (Equals == std::string::npos) throw Exception("embed takes NAME=FILE, not " + Item);
    const std::vector<std::uint8_t> Bytes = ReadBytes(Item.substr(Equals + 1));
    const std::string Var = "Data" + std::to_string(K);
    Text += "const unsigned char " + Var + "[] = {";
    for (std::size_t I = 0; I < Bytes.size(); ++I) {
      if (I % 24 == 0) Text += "\n ";
      Text += std::to_string(Bytes[I]) + ",";
    }
    Text += "0};\n";
    Registrations += "    plat::RegisterProgramData(\"" + Item.substr(0, Equals) + "\", " + Var + ", " +
                     std::to_string(Bytes.size()) + ");\n";
  }
  Text += "struct Registrar {\n  Registrar() {\n" + Registrations + "  }\n} gRegistrar;\n}  // namespace\n";
  WriteBytes(Output, std::vector<std::uint8_t>(Text.begin(), Text.end()));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string Command = argc > 1 ? argv[1] : "";
    if (Command == "draw" && argc == 3) {
      Draw(argv[2]);
    } else if (Command == "store" && argc == 3) {
      Store(argv[2]);
    } else if (Command == "embed" && argc >= 3) {
      Embed(argv[2], argc - 3, argv + 3);
    } else {
      std::cerr << "usage: dravin_artwork draw DIR | store DIR | embed OUT.cpp NAME=FILE...\n";
      return 2;
    }
  } catch (const std::exception& E) {
    std::cerr << "dravin_artwork: " << E.what() << "\n";
    return 1;
  }
  return 0;
}
