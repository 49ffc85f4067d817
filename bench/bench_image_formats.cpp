// Times the conversions the command line makes for a 1-Mbit (128 KiB) image: binary to the
// Intel HEX lines that are uploaded, those lines back to an image, S-record both ways, the
// checksums of a read, and each shaping step; then the same for the dearest image the file
// caps accept. Prints the best and the median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "ImageFormats.h"
#include "ImageInput.h"
#include "ImageShaping.h"

int main(int argc, char** argv) {
  int runs = 15;
  int exit = 0;
  if (!zemb::bench::ParseRuns(argc, argv, "bench_image_formats", runs, exit)) return exit;
  constexpr size_t kSize = 0x20000;  // 1 Mbit
  std::mt19937 rng(1);
  std::string binary(kSize, '\0');
  for (char& c : binary) c = static_cast<char>(rng());

  zemb::SparseImage image;
  zemb::ImageError error;
  zemb::ReadBinary(binary, 0, image, error);
  const std::vector<std::string> lines = zemb::EncodeIntelHexRecords(image);
  std::string hexText;
  for (const auto& line : lines) hexText += line + "\r\n";
  const std::string srecText = zemb::WriteSRecord(image);

  std::printf("1-Mbit image, %zu Intel HEX records, %d runs each\n", lines.size(), runs);
  zemb::bench::Time("binary -> Intel HEX lines", runs, [&] {
    zemb::SparseImage in;
    zemb::ImageError e;
    zemb::ReadBinary(binary, 0, in, e);
    return zemb::EncodeIntelHexRecords(in).size();
  });
  zemb::bench::Time("Intel HEX text -> image -> binary", runs, [&] {
    zemb::SparseImage in;
    zemb::ImageError e;
    if (!zemb::ReadIntelHex(hexText, in, e)) return size_t{0};
    return in.Flatten(0, kSize - 1).size();
  });
  zemb::bench::Time("S-record text -> Intel HEX lines", runs, [&] {
    zemb::SparseImage in;
    zemb::ImageError e;
    if (!zemb::ReadSRecord(srecText, in, e)) return size_t{0};
    return zemb::EncodeIntelHexRecords(in).size();
  });
  zemb::bench::Time("image -> S-record text", runs,
                    [&] { return zemb::WriteSRecord(image).size(); });
  zemb::bench::Time("CRC-32 + SHA-1 + byte sum of 128 KiB", runs, [&] {
    const auto* data = reinterpret_cast<const uint8_t*>(binary.data());
    return static_cast<size_t>(zemb::Crc32(data, kSize) ^ zemb::ByteSum16(data, kSize)) +
           zemb::Sha1Hex(data, kSize).size();
  });

  // Shaping the 1-Mbit image as it would be for its chips.
  zemb::SparseImage hexImage;
  zemb::ReadIntelHex(hexText, hexImage, error);  // one run per record, as files give it
  zemb::SparseImage even;
  zemb::SparseImage odd;
  std::string why;
  zemb::SplitImage(image, 2, 0, 1, even, why);
  zemb::SplitImage(image, 2, 1, 1, odd, why);
  const zemb::SparseImage quarter = zemb::CropImage(image, 0, 0x7FFF);
  zemb::SparseImage sparse;  // every other 16-byte record missing
  for (uint32_t at = 0; at < kSize; at += 32) {
    sparse.SetRange(at, reinterpret_cast<const uint8_t*>(binary.data()) + at, 16);
  }
  std::printf("shaping (target: each under 20 ms)\n");
  auto shaped = [](const zemb::SparseImage& out) { return static_cast<size_t>(out.Count()); };
  zemb::bench::Time("offset +0x8000 and back", runs, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::OffsetImage(hexImage, 0x8000, out, e);
    zemb::OffsetImage(out, -0x8000, out, e);
    return shaped(out);
  });
  zemb::bench::Time("crop 0x4000-0x13FFF", runs,
                    [&] { return shaped(zemb::CropImage(hexImage, 0x4000, 0x13FFF)); });
  zemb::bench::Time("swap", runs, [&] { return shaped(zemb::SwapBytes(hexImage)); });
  zemb::bench::Time("split 2:0 (even bytes)", runs, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::SplitImage(hexImage, 2, 0, 1, out, e);
    return shaped(out);
  });
  zemb::bench::Time("split 2:1:2 (high word of 32 bits)", runs, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::SplitImage(hexImage, 2, 1, 2, out, e);
    return shaped(out);
  });
  zemb::bench::Time("fill FF, half the records missing", runs, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::FillImage(sparse, 0, kSize - 1, 0xFF, out, e);
    return shaped(out);
  });
  zemb::bench::Time("mirror 32 KiB through 1 Mbit", runs, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::MirrorImage(quarter, kSize, out, e);
    return shaped(out);
  });
  zemb::bench::Time("merge two 64 KiB lanes", runs, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::MergeImages({&even, &odd}, 1, out, e);
    return shaped(out);
  });
  zemb::bench::Time("shape: offset, crop, swap, split, pad", runs, [&] {
    zemb::ShapeOptions options;
    options.offset = true;
    options.offsetBy = 0x100;
    options.crop = true;
    options.cropLast = kSize - 1;
    options.swap = true;
    options.split = true;
    options.pad = true;
    zemb::ShapeTarget target;
    target.capacity = kSize / 2;
    zemb::SparseImage out;
    std::string e;
    zemb::ShapeImage(hexImage, options, target, out, e);
    return shaped(out);
  });

  // The dearest image the file caps let in: a million one-byte records 16 bytes apart, so
  // that every record is a run of its own and the span is nearly 16 MiB.
  constexpr uint32_t kCapRecords = 1048000 - 257;
  std::string capText;
  capText.reserve(size_t{kCapRecords} * 15 + 300 * 15);
  for (uint32_t i = 0; i < kCapRecords; ++i) {
    const uint32_t at = i * 16;
    if (at % 0x10000 == 0) {
      const uint8_t upper[2] = {static_cast<uint8_t>(at >> 24), static_cast<uint8_t>(at >> 16)};
      capText += zemb::EncodeHexRecord(zemb::kHexExtendedLinear, 0, upper, 2) + "\r\n";
    }
    const auto value = static_cast<uint8_t>(i * 7);
    capText += zemb::EncodeHexRecord(zemb::kHexData, static_cast<uint16_t>(at), &value, 1) + "\r\n";
  }
  capText += std::string(zemb::kHexEofRecord) + "\r\n";
  zemb::InputImage cap;
  std::string capError;
  zemb::LoadInputImage("cap", capText, zemb::ImageFormat::IntelHex, 0, cap, capError, false);
  const uint32_t capLast = cap.image.MaxAddress();
  zemb::SparseImage capFilled;
  zemb::FillImage(cap.image, 0, capLast, 0xFF, capFilled, capError);
  const int capRuns = std::max(1, runs / 5);
  std::printf("at the caps: %zu-byte file, %u records, %zu runs, span %llu bytes, %d runs each\n",
              capText.size(), kCapRecords, cap.image.RunCount(),
              static_cast<unsigned long long>(cap.image.Span()), capRuns);
  zemb::bench::Time("cap: read (no upload lines)", capRuns, [&] {
    zemb::InputImage in;
    std::string e;
    zemb::LoadInputImage("cap", capText, zemb::ImageFormat::IntelHex, 0, in, e, false);
    return static_cast<size_t>(in.image.Count());
  });
  zemb::bench::Time("cap: read with the upload lines", capRuns, [&] {
    zemb::InputImage in;
    std::string e;
    zemb::LoadInputImage("cap", capText, zemb::ImageFormat::IntelHex, 0, in, e);
    return static_cast<size_t>(in.lines.Count());
  });
  zemb::bench::Time("cap: checksums of the span", capRuns,
                    [&] { return zemb::ChecksumRange(cap.image, 0, capLast).Sha1Hex().size(); });
  zemb::bench::Time("cap: fill the span", capRuns, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::FillImage(cap.image, 0, capLast, 0xFF, out, e);
    return shaped(out);
  });
  zemb::bench::Time("cap: swap", capRuns, [&] { return shaped(zemb::SwapBytes(cap.image)); });
  zemb::bench::Time("cap: split 2:0", capRuns, [&] {
    zemb::SparseImage out;
    std::string e;
    zemb::SplitImage(cap.image, 2, 0, 1, out, e);
    return shaped(out);
  });
  zemb::bench::Time("cap: upload records of the filled span", capRuns, [&] {
    zemb::InputImage in;
    in.image = capFilled;
    zemb::ConvertToRecords(in);
    return static_cast<size_t>(in.lines.Count());
  });
  return 0;
}
