// Our own reader of the version resource of a PE image (executable, library,
// screen saver, control): it finds the resource of type 16, name 1 and walks
// the VS_VERSIONINFO tree inside it the way the system's version API does.
//
// Everything here reads hostile bytes: every offset, count and length is
// checked against what is really there before it is used. Nothing depends on
// the operating system, so both trees build it; the host build reads version
// resources with it, the Windows tree tests it against the system's API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::pe {

// Random access to the bytes of an image.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // False unless all Count bytes from Offset were read.
  virtual bool Read(std::uint64_t Offset, void* Buffer, std::size_t Count) const = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const void* Data, std::size_t Size) : FData(static_cast<const std::uint8_t*>(Data)), FSize(Size) {}
  std::uint64_t Size() const override { return FSize; }
  bool Read(std::uint64_t Offset, void* Buffer, std::size_t Count) const override;

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
};

// The largest version block we copy. Its root length is a 16-bit number, so
// nothing a query can reach lies beyond this.
constexpr std::size_t MaxVersionBlock = 0x10000;

// Copies the image's version resource into Block (at most MaxVersionBlock
// bytes). False when the bytes are not a PE image or it has no version
// resource. Where the resource exists in several languages, Japanese is taken
// first, then the neutral language, then English, then the first one listed.
bool ReadVersionResource(const ByteSource& Image, std::vector<std::uint8_t>& Block);

// A value found in a version block: where its bytes start (an offset into the
// block), how many bytes of the block are left from there, and the header's
// value length and type (1 text, 0 binary).
struct VersionValue {
  std::size_t Offset = 0;
  std::size_t Available = 0;
  std::uint16_t Length = 0;
  std::uint16_t Type = 0;
};

// Follows a path of keys separated by "\" from the root of the block (empty
// parts are skipped; keys compare without regard to ASCII case).
bool QueryValue(const std::vector<std::uint8_t>& Block, const std::u16string& Path, VersionValue& Value);

// The first entry of "\VarFileInfo\Translation"; false when there is none or
// the value is shorter than one entry.
bool QueryTranslation(const std::vector<std::uint8_t>& Block, std::uint16_t& Language, std::uint16_t& CodePage);

// The text of a value taken as UTF-16: at most its declared length in
// characters, never past the block, and only up to its first NUL.
bool QueryText(const std::vector<std::uint8_t>& Block, const std::u16string& Path, std::u16string& Text);

std::u16string Utf16FromAscii(const std::string& Text);

}  // namespace plat::pe
