#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "support/MD5.h"

namespace {

std::vector<std::uint8_t> Pattern(std::size_t N) {
  std::vector<std::uint8_t> B(N);
  for (std::size_t I = 0; I < N; ++I) B[I] = static_cast<std::uint8_t>((I * 7) % 251);
  return B;
}

std::string Hex(const MD5Digest& D) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string S;
  for (std::uint8_t B : D) {
    S += Digits[B >> 4];
    S += Digits[B & 15];
  }
  return S;
}

}  // namespace

TEST(MD5, TheRfc1321TestSuiteInUpperCase) {
  struct Case {
    const char* Input;
    const char* Digest;
  } Cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Input);
    EXPECT_EQ(MD5HexDigest(C.Input, std::strlen(C.Input)), C.Digest);
  }
  EXPECT_EQ(MD5HexDigest(nullptr, 0), "D41D8CD98F00B204E9800998ECF8427E");
  const std::string Million(1000000, 'a');
  EXPECT_EQ(MD5HexDigest(Million.data(), Million.size()), "7707D6AE4E027C70EEA2A935C2296F21");
}

// Lengths around the padding cases (one or two final blocks) and around the
// 16384-byte pieces; the digests come from an independent implementation.
TEST(MD5, PaddingAndPieceBoundaries) {
  struct Case {
    std::size_t Length;
    const char* Digest;
  } Cases[] = {
      {55, "A3C81137436036AD8B477DA25301A150"},    {56, "64C7901679C62FEE89DAE9FDC90F6CDC"},
      {57, "DE3640741DF50A25EBFBF7BFAD1DF856"},    {63, "CA2A2C51613F550D77BFA700FA71B2F3"},
      {64, "C1E181645D10867B9810B9AB454F39FD"},    {65, "8CE7034CD47C2E5766F920D9F6CD25B2"},
      {119, "BBEE0FA54927BE9CEC551823419525D6"},   {120, "BEC94D18929378FDB98C26A97F1DBA72"},
      {16383, "5AE0A7ADEF54A7DA887B7B87958BAAAF"}, {16384, "1ED4C5932443F9B719EBD31A8BDFA918"},
      {16385, "E2531A01D7A7AC58DE84D29A465B4E95"}, {32768, "81F4F569CE51790816A380CA55AC7880"},
      {65536, "0BEBB799D362469F916B5A272CBC6D3B"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Length);
    const auto Data = Pattern(C.Length);
    const std::string Text = MD5HexDigest(Data.data(), Data.size());
    EXPECT_EQ(Text, C.Digest);
    EXPECT_EQ(Text.find_first_of("abcdef"), std::string::npos);
  }
}

TEST(MD5, AnySplitOfTheInputGivesTheSameDigest) {
  const auto Data = Pattern(70000);
  const std::string Whole = MD5HexDigest(Data.data(), Data.size());
  std::mt19937 Random(1321);
  for (int Round = 0; Round < 50; ++Round) {
    MD5Context C;
    MD5Init(C);
    std::size_t At = 0;
    while (At < Data.size()) {
      std::size_t N = std::min<std::size_t>(Random() % 300, Data.size() - At);
      MD5Update(C, Data.data() + At, static_cast<std::uint32_t>(N));
      At += N;
    }
    MD5Digest D;
    MD5Final(D, C);
    ASSERT_EQ(Hex(D), Whole) << "round " << Round;
  }
  MD5Context C;
  MD5Init(C);
  MD5UpdateBuffer(C, Data.data(), 20000);
  MD5UpdateBuffer(C, Data.data() + 20000, Data.size() - 20000);
  MD5Digest D;
  MD5Final(D, C);
  EXPECT_EQ(Hex(D), Whole);
}

TEST(MD5, FinalClearsTheContext) {
  MD5Context C;
  MD5Init(C);
  MD5Update(C, "abc", 3);
  MD5Digest D;
  MD5Final(D, C);
  const MD5Context Zero{};
  EXPECT_EQ(std::memcmp(&C, &Zero, sizeof C), 0);
  EXPECT_EQ(Hex(D), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(MD5, TheBitCountCarriesIntoItsHighWord) {
  // Past 512 MB the low word of the bit count wraps.
  MD5Context C;
  MD5Init(C);
  C.Count[0] = 0xFFFFFE00u;  // a whole number of blocks short of the wrap
  const auto Block = Pattern(128);
  MD5Update(C, Block.data(), 128);
  EXPECT_EQ(C.Count[0], 0x00000200u);
  EXPECT_EQ(C.Count[1], 1u);
  // A length of 512 MB and more in one call carries its top bits directly:
  // 2^29 bytes are 2^32 bits, a high word of 1 and a low word of 0. The
  // zeros are the system's untouched pages, so they cost no memory.
  constexpr std::uint32_t Big = 1u << 29;
  std::unique_ptr<std::uint8_t, decltype(&std::free)> Zeros(static_cast<std::uint8_t*>(std::calloc(Big, 1)),
                                                            &std::free);
  ASSERT_TRUE(Zeros);
  MD5Init(C);
  MD5Update(C, Zeros.get(), Big);
  EXPECT_EQ(C.Count[0], 0u);
  EXPECT_EQ(C.Count[1], 1u);
}
