// The checksums collections of chip dumps list: CRC-32 (the zlib polynomial), SHA-1 and the
// 16-bit sum of all bytes. CRC-32 comes from zlib; SHA-1 from nettle, or from the system's
// CNG provider on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zemb {

// All three sums at once, fed in pieces. Copies are independent: a copy taken halfway
// goes on from where the original was.
class ImageChecksums {
 public:
  ImageChecksums();
  ~ImageChecksums();
  ImageChecksums(const ImageChecksums& other);
  ImageChecksums& operator=(const ImageChecksums& other);
  ImageChecksums(ImageChecksums&& other) noexcept;
  ImageChecksums& operator=(ImageChecksums&& other) noexcept;

  void Update(const uint8_t* data, size_t size);
  uint32_t Crc32() const;
  std::string Sha1Hex() const;  // lower-case hex, as sha1sum prints it
  uint16_t Sum16() const;

  // The state of the SHA-1 library in use; defined where the library is.
  struct Sha1State;

 private:
  uint32_t crc_ = 0;
  uint32_t sum_ = 0;
  std::unique_ptr<Sha1State> sha1_;
};

uint32_t Crc32(const uint8_t* data, size_t size);
std::string Sha1Hex(const uint8_t* data, size_t size);
uint16_t ByteSum16(const uint8_t* data, size_t size);

}  // namespace zemb
