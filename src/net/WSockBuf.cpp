#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(int Size) { SetCapacity(Size); }

void TBuffer::SetCapacity(int Size) {
  if (Size <= 0) Size = 1514;
  if (Size == FCapacity) return;
  std::unique_ptr<char[]> Storage(new char[static_cast<std::size_t>(Size)]);
  if (FWriteIndex != FReadIndex) {
    // A block shrunk below its data keeps what fits.
    FWriteIndex = std::min(FWriteIndex, Size);
    FReadIndex = std::min(FReadIndex, FWriteIndex);
    std::memcpy(Storage.get(), FStorage.get(), static_cast<std::size_t>(FWriteIndex));
  } else {
    FWriteIndex = FReadIndex = 0;
  }
  FStorage = std::move(Storage);
  FCapacity = Size;
}

int TBuffer::Write(const void* Data, int Length) {
  const int Count = std::max(0, std::min(Length, FCapacity - FWriteIndex));
  if (Count == 0) return 0;
  std::memcpy(FStorage.get() + FWriteIndex, Data, static_cast<std::size_t>(Count));
  FWriteIndex += Count;
  return Count;
}

const char* TBuffer::Peek(int& Length) const {
  Length = FWriteIndex - FReadIndex;
  if (Length <= 0) {
    Length = 0;
    return nullptr;
  }
  return FStorage.get() + FReadIndex;
}

int TBuffer::Remove(int Length) {
  const int Count = std::max(0, std::min(Length, FWriteIndex - FReadIndex));
  FReadIndex += Count;
  if (FReadIndex == FWriteIndex) FReadIndex = FWriteIndex = 0;
  return Count;
}

void QueueBlocks(TBufferList& Chain, int BlockSize, const void* Data, int Length) {
  if (Length <= 0) return;
  if (Chain.empty()) Chain.push_back(std::make_unique<TBuffer>(BlockSize));
  const char* P = static_cast<const char*>(Data);
  for (;;) {
    const int Written = Chain.back()->Write(P, Length);
    if (Written >= Length) return;
    P += Written;
    Length -= Written;
    Chain.push_back(std::make_unique<TBuffer>(BlockSize));
  }
}
