#include "Checksums.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on
#else
#include <nettle/sha1.h>
#endif

namespace zemb {

namespace {

std::string LowerHex(const uint8_t* digest, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 0x0F];
  }
  return out;
}

}  // namespace

#ifdef _WIN32

namespace {

constexpr size_t kSha1Size = 20;

// A failing CNG call leaves no sum to give; it ends in the caller's error path.
void CheckCng(NTSTATUS status, const char* what) {
  if (BCRYPT_SUCCESS(status)) return;
  char text[96];
  std::snprintf(text, sizeof text, "SHA-1: %s failed (status 0x%08lX)", what,
                static_cast<unsigned long>(status));
  throw std::runtime_error(text);
}

// One provider for the life of the program; CNG providers are safe to share.
BCRYPT_ALG_HANDLE Sha1Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    CheckCng(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA1_ALGORITHM, nullptr, 0),
             "BCryptOpenAlgorithmProvider");
    return handle;
  }();
  return provider;
}

}  // namespace

struct ImageChecksums::Sha1State {
  BCRYPT_HASH_HANDLE hash = nullptr;

  Sha1State() {
    CheckCng(BCryptCreateHash(Sha1Provider(), &hash, nullptr, 0, nullptr, 0, 0),
             "BCryptCreateHash");
  }
  Sha1State(const Sha1State& other) {
    CheckCng(BCryptDuplicateHash(other.hash, &hash, nullptr, 0, 0), "BCryptDuplicateHash");
  }
  Sha1State& operator=(const Sha1State&) = delete;
  ~Sha1State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
  }

  void Update(const uint8_t* data, size_t size) {
    // BCryptHashData takes a 32-bit length and a non-const pointer it does not write to.
    while (size > 0) {
      const ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
      CheckCng(BCryptHashData(hash, const_cast<PUCHAR>(data), chunk, 0), "BCryptHashData");
      data += chunk;
      size -= chunk;
    }
  }
  // Finishing consumes a hash, so a copy is finished and the running sum goes on.
  std::string Hex() const {
    Sha1State copy(*this);
    uint8_t digest[kSha1Size];
    CheckCng(BCryptFinishHash(copy.hash, digest, sizeof digest, 0), "BCryptFinishHash");
    return LowerHex(digest, sizeof digest);
  }
};

#else

struct ImageChecksums::Sha1State {
  sha1_ctx ctx;

  Sha1State() { sha1_init(&ctx); }

  void Update(const uint8_t* data, size_t size) { sha1_update(&ctx, size, data); }
  // sha1_digest resets its context, so a copy is finished and the running sum goes on.
  std::string Hex() const {
    sha1_ctx copy = ctx;
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&copy, sizeof digest, digest);
    return LowerHex(digest, sizeof digest);
  }
};

#endif

ImageChecksums::ImageChecksums() : sha1_(std::make_unique<Sha1State>()) {}

ImageChecksums::~ImageChecksums() = default;

ImageChecksums::ImageChecksums(const ImageChecksums& other)
    : crc_(other.crc_),
      sum_(other.sum_),
      sha1_(other.sha1_ ? std::make_unique<Sha1State>(*other.sha1_) : nullptr) {}

ImageChecksums& ImageChecksums::operator=(const ImageChecksums& other) {
  if (this != &other) *this = ImageChecksums(other);
  return *this;
}

ImageChecksums::ImageChecksums(ImageChecksums&& other) noexcept = default;
ImageChecksums& ImageChecksums::operator=(ImageChecksums&& other) noexcept = default;

void ImageChecksums::Update(const uint8_t* data, size_t size) {
  if (size == 0) return;
  // A moved-from object starts again from nothing.
  if (!sha1_) sha1_ = std::make_unique<Sha1State>();
  crc_ = static_cast<uint32_t>(crc32_z(crc_, data, size));
  uint32_t sum = sum_;
  for (size_t i = 0; i < size; ++i) sum += data[i];
  sum_ = sum;
  sha1_->Update(data, size);
}

uint32_t ImageChecksums::Crc32() const {
  return crc_;
}

uint16_t ImageChecksums::Sum16() const {
  return static_cast<uint16_t>(sum_);
}

std::string ImageChecksums::Sha1Hex() const {
  return sha1_ ? sha1_->Hex() : Sha1State().Hex();
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  return size == 0 ? 0 : static_cast<uint32_t>(crc32_z(0, data, size));
}

std::string Sha1Hex(const uint8_t* data, size_t size) {
  ImageChecksums sums;
  sums.Update(data, size);
  return sums.Sha1Hex();
}

uint16_t ByteSum16(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i];
  return static_cast<uint16_t>(sum);
}

}  // namespace zemb
