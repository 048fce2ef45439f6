#include "region/RegionData.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

void Put32(std::uint8_t*& P, std::uint32_t V) {
  for (int K = 0; K < 4; ++K) *P++ = static_cast<std::uint8_t>(V >> (8 * K));
}

void PutRect(std::uint8_t*& P, const TRect& R) {
  Put32(P, static_cast<std::uint32_t>(R.Left));
  Put32(P, static_cast<std::uint32_t>(R.Top));
  Put32(P, static_cast<std::uint32_t>(R.Right));
  Put32(P, static_cast<std::uint32_t>(R.Bottom));
}

std::uint32_t Get32(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}

TRect BoxOf(const std::vector<TRect>& Rects) {
  if (Rects.empty()) return TRect{};
  TRect Box = Rects.front();
  for (const TRect& R : Rects) {
    Box.Left = std::min(Box.Left, R.Left);
    Box.Top = std::min(Box.Top, R.Top);
    Box.Right = std::max(Box.Right, R.Right);
    Box.Bottom = std::max(Box.Bottom, R.Bottom);
  }
  return Box;
}

bool WriteBlock(const std::vector<TRect>& Rects, std::uint8_t* Buffer, std::size_t Size) {
  constexpr std::size_t MaxCount = (std::numeric_limits<std::uint32_t>::max() - RegionHeaderSize) / RegionRectSize;
  if (Rects.size() > MaxCount || Size != RegionHeaderSize + RegionRectSize * Rects.size()) return false;
  const TRect Box = BoxOf(Rects);
  std::uint8_t* P = Buffer;
  Put32(P, RegionHeaderSize);
  Put32(P, 1);
  Put32(P, static_cast<std::uint32_t>(Rects.size()));
  Put32(P, static_cast<std::uint32_t>(RegionRectSize * Rects.size()));
  PutRect(P, Box);
  for (const TRect& R : Rects) PutRect(P, R);
  return true;
}

// Adds [Left, Right) to sorted runs, joining every run it overlaps or touches.
void AddRun(std::vector<TBandRegion::TRun>& Runs, int Left, int Right) {
  auto First = std::lower_bound(Runs.begin(), Runs.end(), Left,
                                [](const TBandRegion::TRun& Run, int L) { return Run.Right < L; });
  auto Last = First;
  while (Last != Runs.end() && Last->Left <= Right) {
    Left = std::min(Left, Last->Left);
    Right = std::max(Right, Last->Right);
    ++Last;
  }
  First = Runs.erase(First, Last);
  Runs.insert(First, TBandRegion::TRun{Left, Right});
}

}  // namespace

void TBandRegion::Union(const TRect& R) {
  if (R.Left >= R.Right || R.Top >= R.Bottom) return;
  FCoalesced = false;
  // Rectangles that arrive in banded order, as a scan of rows adds them,
  // only ever extend the last band or start a new one below it.
  if (FBands.empty() || R.Top >= FBands.back().Bottom) {
    // The band above is complete: when it repeats the one before it, the two
    // become one, and its storage serves the new band.
    const std::size_t N = FBands.size();
    if (N >= 2 && FBands[N - 2].Bottom == FBands[N - 1].Top && FBands[N - 2].Runs == FBands[N - 1].Runs) {
      FBands[N - 2].Bottom = FBands[N - 1].Bottom;
      FBands[N - 1].Top = R.Top;
      FBands[N - 1].Bottom = R.Bottom;
      FBands[N - 1].Runs.assign(1, TRun{R.Left, R.Right});
      return;
    }
    FBands.push_back(TBand{R.Top, R.Bottom, {TRun{R.Left, R.Right}}});
    return;
  }
  TBand& Last = FBands.back();
  if (R.Top == Last.Top && R.Bottom == Last.Bottom && R.Left >= Last.Runs.back().Right) {
    if (R.Left == Last.Runs.back().Right)
      Last.Runs.back().Right = R.Right;
    else
      Last.Runs.push_back(TRun{R.Left, R.Right});
    return;
  }
  SplitAt(R.Top);
  SplitAt(R.Bottom);
  std::vector<TBand> Out;
  Out.reserve(FBands.size() + 2);
  std::size_t I = 0;
  while (I < FBands.size() && FBands[I].Bottom <= R.Top) Out.push_back(std::move(FBands[I++]));
  int Y = R.Top;
  while (Y < R.Bottom) {
    if (I < FBands.size() && FBands[I].Top == Y) {
      AddRun(FBands[I].Runs, R.Left, R.Right);
      Y = FBands[I].Bottom;
      Out.push_back(std::move(FBands[I++]));
    } else {
      const int End = I < FBands.size() ? std::min(FBands[I].Top, R.Bottom) : R.Bottom;
      Out.push_back(TBand{Y, End, {TRun{R.Left, R.Right}}});
      Y = End;
    }
  }
  while (I < FBands.size()) Out.push_back(std::move(FBands[I++]));
  FBands = std::move(Out);
}

void TBandRegion::SplitAt(int Y) {
  for (std::size_t I = 0; I < FBands.size(); ++I) {
    if (FBands[I].Top < Y && Y < FBands[I].Bottom) {
      TBand Lower{Y, FBands[I].Bottom, FBands[I].Runs};
      FBands[I].Bottom = Y;
      FBands.insert(FBands.begin() + static_cast<std::ptrdiff_t>(I) + 1, std::move(Lower));
      return;
    }
  }
}

void TBandRegion::Coalesce() const {
  if (FCoalesced) return;
  std::size_t Kept = 0;
  for (std::size_t I = 0; I < FBands.size(); ++I) {
    if (Kept > 0 && FBands[Kept - 1].Bottom == FBands[I].Top && FBands[Kept - 1].Runs == FBands[I].Runs) {
      FBands[Kept - 1].Bottom = FBands[I].Bottom;
    } else {
      if (Kept != I) FBands[Kept] = std::move(FBands[I]);
      ++Kept;
    }
  }
  FBands.resize(Kept);
  FCoalesced = true;
}

const std::vector<TBandRegion::TBand>& TBandRegion::Bands() const {
  Coalesce();
  return FBands;
}

std::vector<TRect> TBandRegion::Rectangles() const {
  std::vector<TRect> Rects;
  Rects.reserve(RectangleCount());
  for (const TBand& B : Bands())
    for (const TRun& Run : B.Runs) Rects.push_back(TRect{Run.Left, B.Top, Run.Right, B.Bottom});
  return Rects;
}

std::size_t TBandRegion::RectangleCount() const {
  std::size_t N = 0;
  for (const TBand& B : Bands()) N += B.Runs.size();
  return N;
}

TRect TBandRegion::BoundingBox() const { return BoxOf(Rectangles()); }

bool TBandRegion::GetData(std::uint8_t* Buffer, std::size_t Size) const {
  return WriteBlock(Rectangles(), Buffer, Size);
}

std::vector<std::uint8_t> MakeRegionData(const std::vector<TRect>& Rects) {
  std::vector<std::uint8_t> Block(RegionHeaderSize + RegionRectSize * Rects.size());
  if (!WriteBlock(Rects, Block.data(), Block.size())) throw EConvertError("Too many rectangles for region data");
  return Block;
}

std::vector<TRect> ReadRegionData(const std::uint8_t* Data, std::size_t Size, TRect* BoundingBox) {
  auto Broken = [] { throw EReadError("Region data is not valid"); };
  if (Size < RegionHeaderSize) Broken();
  const std::uint32_t Count = Get32(Data + 8);
  if (Get32(Data) != RegionHeaderSize || Get32(Data + 4) != 1 || Count > (Size - RegionHeaderSize) / RegionRectSize ||
      Get32(Data + 12) != Count * RegionRectSize || Size != RegionHeaderSize + RegionRectSize * Count)
    Broken();
  auto RectAt = [Data](std::size_t Offset) {
    return TRect{static_cast<std::int32_t>(Get32(Data + Offset)), static_cast<std::int32_t>(Get32(Data + Offset + 4)),
                 static_cast<std::int32_t>(Get32(Data + Offset + 8)), static_cast<std::int32_t>(Get32(Data + Offset + 12))};
  };
  if (BoundingBox) *BoundingBox = RectAt(16);
  std::vector<TRect> Rects;
  Rects.reserve(Count);
  for (std::uint32_t I = 0; I < Count; ++I) Rects.push_back(RectAt(RegionHeaderSize + RegionRectSize * I));
  return Rects;
}
