// The ownership half of plat::File, the same on every platform.
#include "platform/Platform.h"

namespace plat {

File::~File() { Close(); }

File::File(File&& Other) noexcept : FHandle(Other.FHandle), FLastError(Other.FLastError) { Other.FHandle = Invalid; }

File& File::operator=(File&& Other) noexcept {
  if (this != &Other) {
    Close();
    FHandle = Other.FHandle;
    FLastError = Other.FLastError;
    Other.FHandle = Invalid;
  }
  return *this;
}

}  // namespace plat
