#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Checksums.h"

namespace zemb {
namespace {

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

// The published FIPS 180 and CRC-32 check values, for the library behind each platform.
TEST(Checksums, KnownValuesOnEveryPlatform) {
  const std::string million(1000000, 'a');
  EXPECT_EQ(Sha1Hex(Bytes(million), million.size()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  EXPECT_EQ(Sha1Hex(Bytes("abc"), 3), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Sha1Hex(nullptr, 0), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Crc32(Bytes("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(Crc32(Bytes(million), million.size()), 0xDC25BFBCu);
  EXPECT_EQ(ByteSum16(Bytes(million), million.size()), static_cast<uint16_t>(97u * 1000000u));
}

// Reading a sum does not end it, and a copy taken halfway runs on by itself.
TEST(Checksums, ReadingAndCopyingLeaveTheRunningSumAlone) {
  const std::string text = "The quick brown fox jumps over the lazy dog";
  ImageChecksums sums;
  sums.Update(Bytes(text), 10);
  EXPECT_EQ(sums.Sha1Hex(), Sha1Hex(Bytes(text), 10));
  ImageChecksums half = sums;
  sums.Update(Bytes(text) + 10, text.size() - 10);
  EXPECT_EQ(sums.Sha1Hex(), "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12");
  EXPECT_EQ(sums.Crc32(), 0x414FA339u);
  EXPECT_EQ(half.Sha1Hex(), Sha1Hex(Bytes(text), 10));
  EXPECT_EQ(half.Crc32(), Crc32(Bytes(text), 10));

  half = sums;
  EXPECT_EQ(half.Sha1Hex(), sums.Sha1Hex());
  ImageChecksums moved = std::move(half);
  EXPECT_EQ(moved.Sum16(), ByteSum16(Bytes(text), text.size()));
  EXPECT_EQ(moved.Sha1Hex(), sums.Sha1Hex());
}

}  // namespace
}  // namespace zemb
