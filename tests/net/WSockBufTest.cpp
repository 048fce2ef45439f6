// The blocks of the send chain and how the chain fills.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/WSockBuf.h"

namespace {

std::vector<int> Unsent(const TBufferList& Chain) {
  std::vector<int> Counts;
  for (const auto& B : Chain) Counts.push_back(B->WriteIndex() - B->ReadIndex());
  return Counts;
}

std::string Bytes(int N, char First = 'a') {
  std::string S(static_cast<std::size_t>(N), '\0');
  for (int I = 0; I < N; ++I) S[static_cast<std::size_t>(I)] = static_cast<char>(First + I % 26);
  return S;
}

}  // namespace

TEST(TBuffer, WritesWhatFitsAndGivesItBackInOrder) {
  TBuffer B(10);
  EXPECT_EQ(B.Capacity(), 10);
  EXPECT_EQ(B.Write("abcdef", 6), 6);
  EXPECT_EQ(B.Write("ghijkl", 6), 4);
  EXPECT_EQ(B.Write("x", 1), 0);  // full
  int Length = 0;
  const char* P = B.Peek(Length);
  ASSERT_EQ(Length, 10);
  EXPECT_EQ(std::string(P, 10), "abcdefghij");
  EXPECT_EQ(B.Remove(3), 3);
  P = B.Peek(Length);
  EXPECT_EQ(std::string(P, static_cast<std::size_t>(Length)), "defghij");
  // Space before the read position is not reclaimed until the block empties.
  EXPECT_EQ(B.Write("x", 1), 0);
  EXPECT_EQ(B.Remove(100), 7);
  EXPECT_EQ(B.Peek(Length), nullptr);
  EXPECT_EQ(Length, 0);
  EXPECT_EQ(B.Remove(1), 0);
}

TEST(TBuffer, ADrainedBlockStartsAgainWithoutANewAllocation) {
  TBuffer B(1460);
  const std::string First = Bytes(1460);
  ASSERT_EQ(B.Write(First.data(), 1460), 1460);
  int Length;
  const char* Storage = B.Peek(Length);
  EXPECT_EQ(B.Remove(1460), 1460);
  EXPECT_EQ(B.WriteIndex(), 0);
  EXPECT_EQ(B.ReadIndex(), 0);
  const std::string Second = Bytes(1460, 'A');
  EXPECT_EQ(B.Write(Second.data(), 1460), 1460);
  EXPECT_EQ(B.Peek(Length), Storage);
  EXPECT_EQ(std::string(Storage, 1460), Second);
}

TEST(TBuffer, CapacityRules) {
  EXPECT_EQ(TBuffer(0).Capacity(), 1514);
  EXPECT_EQ(TBuffer(-5).Capacity(), 1514);
  TBuffer B(8);
  B.Write("12345678", 8);
  B.Remove(2);
  B.SetCapacity(16);  // unsent bytes survive a new storage
  int Length;
  const char* P = B.Peek(Length);
  EXPECT_EQ(std::string(P, static_cast<std::size_t>(Length)), "345678");
  EXPECT_EQ(B.Write("9abcdefghi", 10), 8);
  B.SetCapacity(4);  // smaller than the data: what fits stays, nothing overflows
  P = B.Peek(Length);
  EXPECT_EQ(std::string(P, static_cast<std::size_t>(Length)), "34");
}

TEST(SendChain, FillsStrictlyInOrderIntoBlocksOfTheBlockSize) {
  TBufferList Chain;
  const std::string Data = Bytes(3000);
  QueueBlocks(Chain, 1460, Data.data(), 3000);
  EXPECT_EQ(Unsent(Chain), (std::vector<int>{1460, 1460, 80}));
  std::string Joined;
  for (const auto& B : Chain) {
    int Length;
    const char* P = B->Peek(Length);
    Joined.append(P, static_cast<std::size_t>(Length));
  }
  EXPECT_EQ(Joined, Data);

  // Only the last block is written to: 100 bytes behind 1400 unsent ones go
  // 60 into it and 40 into a new block.
  TBufferList Other;
  const std::string Head = Bytes(1400);
  QueueBlocks(Other, 1460, Head.data(), 1400);
  QueueBlocks(Other, 1460, Head.data(), 100);
  EXPECT_EQ(Unsent(Other), (std::vector<int>{1460, 40}));

  QueueBlocks(Other, 1460, Head.data(), 0);
  QueueBlocks(Other, 1460, Head.data(), -1);
  EXPECT_EQ(Unsent(Other), (std::vector<int>{1460, 40}));
  TBufferList Empty;
  QueueBlocks(Empty, 1460, Head.data(), 0);
  EXPECT_TRUE(Empty.empty());
}
