// The blocks of a socket's send chain. Outgoing data is copied into them once
// and handed to the system from there, as much as the system takes.
#pragma once

#include <deque>
#include <memory>

class TBuffer {
 public:
  explicit TBuffer(int Size);
  TBuffer(const TBuffer&) = delete;
  TBuffer& operator=(const TBuffer&) = delete;

  // 0 or less means 1514. Keeps the unsent bytes.
  void SetCapacity(int Size);
  // Copies what fits behind the bytes already written; the count copied.
  int Write(const void* Data, int Length);
  // The unsent bytes, which stay in the block; nullptr and 0 when there are none.
  const char* Peek(int& Length) const;
  // Takes up to Length bytes off the front; an emptied block starts again at 0.
  int Remove(int Length);

  int Capacity() const { return FCapacity; }
  int WriteIndex() const { return FWriteIndex; }
  int ReadIndex() const { return FReadIndex; }

 private:
  std::unique_ptr<char[]> FStorage;
  int FCapacity = 0;
  int FWriteIndex = 0;
  int FReadIndex = 0;
};

using TBufferList = std::deque<std::unique_ptr<TBuffer>>;

// Appends Length bytes to the chain: only its last block is ever written to,
// and new blocks of BlockSize bytes are added as it fills.
void QueueBlocks(TBufferList& Chain, int BlockSize, const void* Data, int Length);
