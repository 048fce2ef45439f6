// Version resources for the host build: our own PE reader over the file, the
// texts converted the way Windows converts them.
#include "platform/VersionResource.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/PeVersion.h"
#include "platform/Platform.h"

namespace plat {
namespace {

class FileSource : public pe::ByteSource {
 public:
  explicit FileSource(const std::string& FileName) {
    std::uint32_t Error = 0;
    FFile = File::Open(FileName, FileAccess::Read, FileShare::DenyNone, FileCreate::OpenExisting, Error);
    if (FFile.IsOpen() && !FFile.GetSize(FSize)) FFile.Close();
  }
  bool IsOpen() const { return FFile.IsOpen(); }
  std::uint64_t Size() const override { return FSize; }
  bool Read(std::uint64_t Offset, void* Buffer, std::size_t Count) const override {
    if (Offset > FSize || Count > FSize - Offset || Count > 0xFFFFFFFFu) return false;
    std::int64_t At;
    std::uint32_t Done;
    return FFile.Seek(static_cast<std::int64_t>(Offset), SeekOrigin::Begin, At) &&
           FFile.Read(Buffer, static_cast<std::uint32_t>(Count), Done) && Done == Count;
  }

 private:
  mutable File FFile;
  std::uint64_t FSize = 0;
};

bool ReadBlock(const std::string& FileName, std::vector<std::uint8_t>& Block) {
  FileSource Source(FileName);
  return Source.IsOpen() && pe::ReadVersionResource(Source, Block);
}

}  // namespace

std::uint32_t GetFileVersionInfoSize(const std::string& FileName) {
  std::vector<std::uint8_t> Block;
  return ReadBlock(FileName, Block) ? static_cast<std::uint32_t>(Block.size()) : 0;
}

bool GetFileVersionInfo(const std::string& FileName, std::vector<std::uint8_t>& Block) {
  std::vector<std::uint8_t> Resource;
  if (Block.empty() || !ReadBlock(FileName, Resource)) return false;
  std::fill(Block.begin(), Block.end(), 0);
  std::copy_n(Resource.begin(), std::min(Resource.size(), Block.size()), Block.begin());
  return true;
}

bool VerQueryTranslation(const std::vector<std::uint8_t>& Block, std::uint16_t& Language, std::uint16_t& CodePage) {
  return pe::QueryTranslation(Block, Language, CodePage);
}

bool VerQueryString(const std::vector<std::uint8_t>& Block, const std::string& SubBlock, std::string& Text) {
  std::u16string Wide;
  if (!pe::QueryText(Block, pe::Utf16FromAscii(SubBlock), Wide)) return false;
  Text = AnsiFromUtf16(Wide);
  return true;
}

}  // namespace plat
