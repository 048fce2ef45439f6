#include "framework/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

// ---------------------------------------------------------------------------
// TStream

std::int64_t TStream::Size() {
  const std::int64_t Here = Seek(0, soCurrent);
  const std::int64_t End = Seek(0, soEnd);
  Seek(Here, soBeginning);
  return End;
}

void TStream::ReadBuffer(void* Buffer, std::int64_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::int64_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  std::vector<char> Buffer(static_cast<std::size_t>(std::min<std::int64_t>(Count, 61440)) + 1);
  std::int64_t Left = Count;
  while (Left > 0) {
    const std::int64_t N = std::min<std::int64_t>(Left, static_cast<std::int64_t>(Buffer.size()));
    Source.ReadBuffer(Buffer.data(), N);
    WriteBuffer(Buffer.data(), N);
    Left -= N;
  }
  return Count;
}

// ---------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const std::string& FileName, std::uint16_t Mode) : FFileName(FileName) {
  std::uint32_t Error = 0;
  if (Mode == fmCreate) {
    FFile = plat::File::Open(FileName, plat::FileAccess::ReadWrite, plat::FileShare::DenyWrite,
                             plat::FileCreate::CreateAlways, Error);
    if (!FFile.IsOpen())
      throw EFCreateError("Cannot create file " + FileName + ". " + SysErrorMessage(Error));
    return;
  }
  const std::uint16_t Access = Mode & 0x0003, Share = Mode & 0x00F0;
  const plat::FileAccess A = Access == fmOpenWrite       ? plat::FileAccess::Write
                             : Access == fmOpenReadWrite ? plat::FileAccess::ReadWrite
                                                         : plat::FileAccess::Read;
  const plat::FileShare S = Share == fmShareExclusive   ? plat::FileShare::Exclusive
                            : Share == fmShareDenyWrite ? plat::FileShare::DenyWrite
                            : Share == fmShareDenyRead  ? plat::FileShare::DenyRead
                            : Share == fmShareDenyNone  ? plat::FileShare::DenyNone
                                                        : plat::FileShare::Exclusive;
  FFile = plat::File::Open(FileName, A, S, plat::FileCreate::OpenExisting, Error);
  if (!FFile.IsOpen()) throw EFOpenError("Cannot open file " + FileName + ". " + SysErrorMessage(Error));
}

std::int64_t TFileStream::Read(void* Buffer, std::int64_t Count) {
  std::int64_t Total = 0;
  auto* P = static_cast<char*>(Buffer);
  while (Total < Count) {
    const auto Piece = static_cast<std::uint32_t>(std::min<std::int64_t>(Count - Total, 1 << 30));
    std::uint32_t Done = 0;
    if (!FFile.Read(P + Total, Piece, Done)) RaiseInOutError(FFile.LastError());
    Total += Done;
    if (Done < Piece) break;
  }
  return Total;
}

std::int64_t TFileStream::Write(const void* Buffer, std::int64_t Count) {
  std::int64_t Total = 0;
  auto* P = static_cast<const char*>(Buffer);
  while (Total < Count) {
    const auto Piece = static_cast<std::uint32_t>(std::min<std::int64_t>(Count - Total, 1 << 30));
    std::uint32_t Done = 0;
    if (!FFile.Write(P + Total, Piece, Done)) RaiseInOutError(FFile.LastError());
    Total += Done;
    if (Done < Piece) break;
  }
  return Total;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  std::int64_t Result = 0;
  const plat::SeekOrigin O = Origin == soBeginning ? plat::SeekOrigin::Begin
                             : Origin == soCurrent ? plat::SeekOrigin::Current
                                                   : plat::SeekOrigin::End;
  if (!FFile.Seek(Offset, O, Result)) RaiseInOutError(FFile.LastError());
  return Result;
}

std::int64_t TFileStream::Size() {
  std::uint64_t Result = 0;
  if (!FFile.GetSize(Result)) RaiseInOutError(FFile.LastError());
  return static_cast<std::int64_t>(Result);
}

void TFileStream::SetSize(std::int64_t NewSize) {
  const std::int64_t Here = Position();
  Seek(NewSize, soBeginning);
  if (!FFile.SetEnd()) RaiseInOutError(FFile.LastError());
  if (Here < NewSize) Seek(Here, soBeginning);
}

bool TFileStream::Flush() { return FFile.Flush(); }

// ---------------------------------------------------------------------------
// TMemoryStream

std::int64_t TMemoryStream::Read(void* Buffer, std::int64_t Count) {
  const std::int64_t Available = Size() - FPosition;
  if (Count <= 0 || Available <= 0) return 0;
  const std::int64_t N = std::min(Count, Available);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(N));
  FPosition += N;
  return N;
}

std::int64_t TMemoryStream::Write(const void* Buffer, std::int64_t Count) {
  if (Count <= 0) return 0;
  const std::int64_t End = FPosition + Count;
  try {
    if (End > Size()) FData.resize(static_cast<std::size_t>(End));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory while expanding memory stream");
  }
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = End;
  return Count;
}

std::int64_t TMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  const std::int64_t Base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : Size();
  FPosition = std::max<std::int64_t>(0, Base + Offset);
  return FPosition;
}

void TMemoryStream::SetSize(std::int64_t NewSize) {
  try {
    FData.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, NewSize)));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory while expanding memory stream");
  }
  FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Source) {
  Source.SetPosition(0);
  const std::int64_t N = Source.Size();
  SetSize(N);
  FPosition = 0;
  if (N > 0) Source.ReadBuffer(FData.data(), N);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(Stream);
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream Stream(FileName, fmCreate);
  Stream.WriteBuffer(FData.data(), Size());
}
