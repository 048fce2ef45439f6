// The owner every handle of the seam is built on, with a close function that
// records what it is given.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/UniqueHandle.h"

namespace {

std::vector<int> Closed;
bool RecordClose(int Handle) {
  Closed.push_back(Handle);
  return Handle != 13;  // 13 fails to close
}
using Owner = plat::UniqueHandle<int, -1, RecordClose>;

}  // namespace

TEST(UniqueHandle, EachHandleIsClosedOnceWhateverMovesItMakes) {
  Closed.clear();
  {
    Owner A(1), B(2), Empty;
    Owner C(std::move(A));  // moved, not closed
    EXPECT_FALSE(A.Valid());
    EXPECT_EQ(C.Get(), 1);
    B = std::move(C);  // B's own handle goes, C's comes
    EXPECT_EQ(Closed, std::vector<int>{2});
    EXPECT_EQ(B.Get(), 1);
    EXPECT_FALSE(C.Valid());
    auto& Self = B;
    B = std::move(Self);  // a move onto itself keeps the handle open
    EXPECT_EQ(B.Get(), 1);
    B = std::move(Empty);  // taking an empty owner closes what was held
    EXPECT_EQ(Closed, (std::vector<int>{2, 1}));
    EXPECT_FALSE(B.Valid());
    Owner D(3);
    EXPECT_EQ(D.Release(), 3);  // given up: never closed
    Owner E(4);
    EXPECT_TRUE(E.Reset(5));
    EXPECT_TRUE(E.Reset(5));  // the same handle again is not closed under itself
    Owner F(13);
    EXPECT_FALSE(F.Reset());  // the close function's failure comes back
    EXPECT_TRUE(F.Reset());   // nothing left to close
    EXPECT_EQ(Closed, (std::vector<int>{2, 1, 4, 13}));
  }
  EXPECT_EQ(Closed, (std::vector<int>{2, 1, 4, 13, 5}));  // E at the end of its scope
}
