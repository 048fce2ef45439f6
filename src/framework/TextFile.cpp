#include "framework/TextFile.h"

#include "framework/Streams.h"
#include "framework/SysUtils.h"

namespace {

constexpr char CtrlZ = 0x1A;
constexpr std::size_t BufferSize = 4096;

}  // namespace

void TTextFile::Assign(const std::string& FileName) {
  Close();
  FFileName = FileName;
}

void TTextFile::Reset(std::uint16_t Mode) {
  Close();
  const std::uint16_t Share = Mode & 0x00F0;
  const plat::FileShare S = Share == fmShareDenyNone    ? plat::FileShare::DenyNone
                            : Share == fmShareDenyWrite ? plat::FileShare::DenyWrite
                            : Share == fmShareDenyRead  ? plat::FileShare::DenyRead
                                                        : plat::FileShare::Exclusive;
  std::uint32_t Error = 0;
  FFile = plat::File::Open(FFileName, plat::FileAccess::Read, S, plat::FileCreate::OpenExisting, Error);
  if (!FFile.IsOpen()) RaiseInOutError(Error);
  FBuffer.resize(BufferSize);
  FPos = FEnd = 0;
}

bool TTextFile::Fill() {
  if (FPos < FEnd) return true;
  if (!FFile.IsOpen()) return false;
  std::uint32_t Done = 0;
  if (!FFile.Read(FBuffer.data(), static_cast<std::uint32_t>(FBuffer.size()), Done))
    RaiseInOutError(FFile.LastError());
  FPos = 0;
  FEnd = Done;
  return Done > 0;
}

bool TTextFile::Eof() {
  if (!FFile.IsOpen()) return true;
  return !Fill() || FBuffer[FPos] == CtrlZ;
}

std::string TTextFile::ReadLn() {
  std::string Line;
  if (!FFile.IsOpen()) throw EInOutError("File not open", 103);
  while (Fill()) {
    const char C = FBuffer[FPos];
    if (C == CtrlZ) return Line;  // stays put: Eof() now holds
    ++FPos;
    if (C == '\n') return Line;
    if (C == '\r') {
      if (Fill() && FBuffer[FPos] == '\n') ++FPos;
      return Line;
    }
    Line += C;
  }
  return Line;
}

void TTextFile::Close() {
  FFile.Close();
  FPos = FEnd = 0;
}
