// The MD5 message digest (RFC 1321), and the digest of a buffer as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct MD5Context {
  std::uint32_t State[4];   // chaining values A, B, C, D
  std::uint32_t Count[2];   // bits fed so far, low word first
  std::uint8_t Buffer[64];  // the partial block not yet transformed
};

using MD5Digest = std::uint8_t[16];

void MD5Init(MD5Context& Context);
void MD5Update(MD5Context& Context, const void* Data, std::uint32_t Length);
// Writes the digest, then clears the whole context: a new digest needs MD5Init.
void MD5Final(MD5Digest& Digest, MD5Context& Context);
// Feeds a buffer of any length in pieces of 16384 bytes through one scratch
// buffer; raises EOutOfMemory when the scratch buffer cannot be had.
void MD5UpdateBuffer(MD5Context& Context, const void* Data, std::size_t Length);
// 32 upper-case hexadecimal digits, in digest order.
std::string MD5HexDigest(const void* Data, std::size_t Length);
std::string MD5DigestText(const MD5Digest& Digest);
