#include "support/MD5.h"

#include <cstring>
#include <memory>
#include <new>

#include "framework/SysUtils.h"

namespace {

constexpr std::size_t PieceSize = 16384;

inline std::uint32_t RotateLeft(std::uint32_t X, int N) { return (X << N) | (X >> (32 - N)); }

inline std::uint32_t LoadLittle(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[2]) << 16 | static_cast<std::uint32_t>(P[3]) << 24;
}

inline void StoreLittle(std::uint8_t* P, std::uint32_t V) {
  P[0] = static_cast<std::uint8_t>(V);
  P[1] = static_cast<std::uint8_t>(V >> 8);
  P[2] = static_cast<std::uint8_t>(V >> 16);
  P[3] = static_cast<std::uint8_t>(V >> 24);
}

// The four auxiliary functions, in forms with one operation fewer than the
// textbook ones; they give the same values bit for bit.
#define F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define H(x, y, z) ((x) ^ (y) ^ (z))
#define I(x, y, z) ((y) ^ ((x) | ~(z)))
#define STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);       \
  a = RotateLeft(a, s) + (b)

void Transform(std::uint32_t State[4], const std::uint8_t* Block) {
  std::uint32_t X[16];
  for (int K = 0; K < 16; ++K) X[K] = LoadLittle(Block + 4 * K);
  std::uint32_t A = State[0], B = State[1], C = State[2], D = State[3];

  STEP(F, A, B, C, D, X[0], 0xd76aa478u, 7);
  STEP(F, D, A, B, C, X[1], 0xe8c7b756u, 12);
  STEP(F, C, D, A, B, X[2], 0x242070dbu, 17);
  STEP(F, B, C, D, A, X[3], 0xc1bdceeeu, 22);
  STEP(F, A, B, C, D, X[4], 0xf57c0fafu, 7);
  STEP(F, D, A, B, C, X[5], 0x4787c62au, 12);
  STEP(F, C, D, A, B, X[6], 0xa8304613u, 17);
  STEP(F, B, C, D, A, X[7], 0xfd469501u, 22);
  STEP(F, A, B, C, D, X[8], 0x698098d8u, 7);
  STEP(F, D, A, B, C, X[9], 0x8b44f7afu, 12);
  STEP(F, C, D, A, B, X[10], 0xffff5bb1u, 17);
  STEP(F, B, C, D, A, X[11], 0x895cd7beu, 22);
  STEP(F, A, B, C, D, X[12], 0x6b901122u, 7);
  STEP(F, D, A, B, C, X[13], 0xfd987193u, 12);
  STEP(F, C, D, A, B, X[14], 0xa679438eu, 17);
  STEP(F, B, C, D, A, X[15], 0x49b40821u, 22);
  STEP(G, A, B, C, D, X[1], 0xf61e2562u, 5);
  STEP(G, D, A, B, C, X[6], 0xc040b340u, 9);
  STEP(G, C, D, A, B, X[11], 0x265e5a51u, 14);
  STEP(G, B, C, D, A, X[0], 0xe9b6c7aau, 20);
  STEP(G, A, B, C, D, X[5], 0xd62f105du, 5);
  STEP(G, D, A, B, C, X[10], 0x02441453u, 9);
  STEP(G, C, D, A, B, X[15], 0xd8a1e681u, 14);
  STEP(G, B, C, D, A, X[4], 0xe7d3fbc8u, 20);
  STEP(G, A, B, C, D, X[9], 0x21e1cde6u, 5);
  STEP(G, D, A, B, C, X[14], 0xc33707d6u, 9);
  STEP(G, C, D, A, B, X[3], 0xf4d50d87u, 14);
  STEP(G, B, C, D, A, X[8], 0x455a14edu, 20);
  STEP(G, A, B, C, D, X[13], 0xa9e3e905u, 5);
  STEP(G, D, A, B, C, X[2], 0xfcefa3f8u, 9);
  STEP(G, C, D, A, B, X[7], 0x676f02d9u, 14);
  STEP(G, B, C, D, A, X[12], 0x8d2a4c8au, 20);
  STEP(H, A, B, C, D, X[5], 0xfffa3942u, 4);
  STEP(H, D, A, B, C, X[8], 0x8771f681u, 11);
  STEP(H, C, D, A, B, X[11], 0x6d9d6122u, 16);
  STEP(H, B, C, D, A, X[14], 0xfde5380cu, 23);
  STEP(H, A, B, C, D, X[1], 0xa4beea44u, 4);
  STEP(H, D, A, B, C, X[4], 0x4bdecfa9u, 11);
  STEP(H, C, D, A, B, X[7], 0xf6bb4b60u, 16);
  STEP(H, B, C, D, A, X[10], 0xbebfbc70u, 23);
  STEP(H, A, B, C, D, X[13], 0x289b7ec6u, 4);
  STEP(H, D, A, B, C, X[0], 0xeaa127fau, 11);
  STEP(H, C, D, A, B, X[3], 0xd4ef3085u, 16);
  STEP(H, B, C, D, A, X[6], 0x04881d05u, 23);
  STEP(H, A, B, C, D, X[9], 0xd9d4d039u, 4);
  STEP(H, D, A, B, C, X[12], 0xe6db99e5u, 11);
  STEP(H, C, D, A, B, X[15], 0x1fa27cf8u, 16);
  STEP(H, B, C, D, A, X[2], 0xc4ac5665u, 23);
  STEP(I, A, B, C, D, X[0], 0xf4292244u, 6);
  STEP(I, D, A, B, C, X[7], 0x432aff97u, 10);
  STEP(I, C, D, A, B, X[14], 0xab9423a7u, 15);
  STEP(I, B, C, D, A, X[5], 0xfc93a039u, 21);
  STEP(I, A, B, C, D, X[12], 0x655b59c3u, 6);
  STEP(I, D, A, B, C, X[3], 0x8f0ccc92u, 10);
  STEP(I, C, D, A, B, X[10], 0xffeff47du, 15);
  STEP(I, B, C, D, A, X[1], 0x85845dd1u, 21);
  STEP(I, A, B, C, D, X[8], 0x6fa87e4fu, 6);
  STEP(I, D, A, B, C, X[15], 0xfe2ce6e0u, 10);
  STEP(I, C, D, A, B, X[6], 0xa3014314u, 15);
  STEP(I, B, C, D, A, X[13], 0x4e0811a1u, 21);
  STEP(I, A, B, C, D, X[4], 0xf7537e82u, 6);
  STEP(I, D, A, B, C, X[11], 0xbd3af235u, 10);
  STEP(I, C, D, A, B, X[2], 0x2ad7d2bbu, 15);
  STEP(I, B, C, D, A, X[9], 0xeb86d391u, 21);

  State[0] += A;
  State[1] += B;
  State[2] += C;
  State[3] += D;
}

#undef STEP
#undef F
#undef G
#undef H
#undef I

}  // namespace

void MD5Init(MD5Context& Context) {
  std::memset(&Context, 0, sizeof Context);
  Context.State[0] = 0x67452301u;
  Context.State[1] = 0xefcdab89u;
  Context.State[2] = 0x98badcfeu;
  Context.State[3] = 0x10325476u;
}

void MD5Update(MD5Context& Context, const void* Data, std::uint32_t Length) {
  const auto* Input = static_cast<const std::uint8_t*>(Data);
  std::uint32_t Index = (Context.Count[0] >> 3) & 0x3F;
  const std::uint32_t Bits = Length << 3;
  Context.Count[0] += Bits;
  if (Context.Count[0] < Bits) ++Context.Count[1];
  Context.Count[1] += Length >> 29;

  const std::uint32_t Room = 64 - Index;
  std::uint32_t Done = 0;
  if (Length >= Room) {
    std::memcpy(Context.Buffer + Index, Input, Room);
    Transform(Context.State, Context.Buffer);
    for (Done = Room; Done + 63 < Length; Done += 64) Transform(Context.State, Input + Done);
    Index = 0;
  }
  std::memcpy(Context.Buffer + Index, Input + Done, Length - Done);
}

void MD5Final(MD5Digest& Digest, MD5Context& Context) {
  std::uint8_t Bits[8];
  StoreLittle(Bits, Context.Count[0]);
  StoreLittle(Bits + 4, Context.Count[1]);
  // Pad to 56 bytes modulo 64: one 0x80 byte, then zeros.
  static const std::uint8_t Padding[64] = {0x80};
  const std::uint32_t Index = (Context.Count[0] >> 3) & 0x3F;
  const std::uint32_t PadLength = Index < 56 ? 56 - Index : 120 - Index;
  MD5Update(Context, Padding, PadLength);
  MD5Update(Context, Bits, 8);
  for (int K = 0; K < 4; ++K) StoreLittle(Digest + 4 * K, Context.State[K]);
  std::memset(&Context, 0, sizeof Context);
}

void MD5UpdateBuffer(MD5Context& Context, const void* Data, std::size_t Length) {
  std::unique_ptr<std::uint8_t[]> Scratch(new (std::nothrow) std::uint8_t[PieceSize]);
  if (!Scratch) throw EOutOfMemory("Out of memory");
  const auto* Input = static_cast<const std::uint8_t*>(Data);
  for (;;) {
    const std::size_t Piece = Length < PieceSize ? Length : PieceSize;
    if (Piece != 0) {
      std::memcpy(Scratch.get(), Input, Piece);
      MD5Update(Context, Scratch.get(), static_cast<std::uint32_t>(Piece));
    }
    Input += Piece;
    Length -= Piece;
    if (Piece < PieceSize) break;
  }
}

std::string MD5HexDigest(const void* Data, std::size_t Length) {
  MD5Context Context;
  MD5Digest Digest;
  MD5Init(Context);
  MD5UpdateBuffer(Context, Data, Length);
  MD5Final(Digest, Context);
  return MD5DigestText(Digest);
}

std::string MD5DigestText(const MD5Digest& Digest) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Text(32, '0');
  for (int K = 0; K < 16; ++K) {
    Text[2 * K] = Hex[Digest[K] >> 4];
    Text[2 * K + 1] = Hex[Digest[K] & 15];
  }
  return Text;
}
