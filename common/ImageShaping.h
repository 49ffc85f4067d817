// Shaping an image for the chip it goes into: move it, cut it, swap the bytes of 16-bit
// words, take one chip's lane of a wider bus, fill the gaps, repeat a small image through a
// larger chip, and interleave chip dumps back into one image. Each step is a function of
// its own; ShapeImage applies the ones asked for in one fixed order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ImageFormats.h"

namespace zemb {

// Every byte moves by delta; refused when a byte would leave 0..FFFFFFFF.
bool OffsetImage(const SparseImage& in, int64_t delta, SparseImage& out, std::string& error);
// Only the bytes of first..last (inclusive). Requires first <= last.
SparseImage CropImage(const SparseImage& in, uint32_t first, uint32_t last);
// The two bytes of every 16-bit word (even address and the next) change places; a byte
// without its partner moves alone.
SparseImage SwapBytes(const SparseImage& in);
// Lane `lane` of `lanes` lanes, each `width` bytes wide, with the gaps closed: of every
// lanes * width bytes, the width bytes from lane * width on. lanes 2, width 1 and lane 0
// gives the even bytes.
bool SplitImage(const SparseImage& in, uint32_t lanes, uint32_t lane, uint32_t width,
                SparseImage& out, std::string& error);
// Every gap of first..last filled with value. Refused for a range of more than
// kMaxShapedSpan bytes (the result costs the range).
bool FillImage(const SparseImage& in, uint32_t first, uint32_t last, uint8_t value,
               SparseImage& out, std::string& error);
// An image that starts at 0 and whose size (highest address + 1) is a power of two, repeated
// until it fills capacity bytes. Refused otherwise, or when it is larger than capacity; part
// names the chip in that message.
bool MirrorImage(const SparseImage& in, uint64_t capacity, SparseImage& out, std::string& error,
                 std::string_view part = {});
// The inverse of SplitImage: lanes[k] is lane k, width bytes wide. The lanes must all have
// the same size (highest address + 1); names[k], when given, names lane k in messages.
bool MergeImages(const std::vector<const SparseImage*>& lanes, uint32_t width, SparseImage& out,
                 std::string& error, const std::vector<std::string>& names = {});

// The largest range filling and mirroring will produce.
inline constexpr uint64_t kMaxShapedSpan = 16u << 20;

struct ShapeOptions {
  bool offset = false;
  int64_t offsetBy = 0;
  bool crop = false;
  uint32_t cropFirst = 0;
  uint32_t cropLast = 0;
  bool swap = false;
  bool split = false;
  uint32_t splitLanes = 2;
  uint32_t splitLane = 0;
  uint32_t splitWidth = 1;
  bool fill = false;
  uint8_t fillValue = 0xFF;
  bool pad = false;  // fill with FF up to the capacity
  bool mirror = false;

  bool Any() const { return offset || crop || swap || split || fill || pad || mirror; }
};

// What the image is shaped for: the chip's capacity when a type is known, and the range
// the user gave, if any.
struct ShapeTarget {
  uint64_t capacity = 0;  // bytes; 0 when no chip type is known
  std::string part;       // the chip's name for messages ("27256 t2"), may be empty
  bool hasRange = false;
  uint32_t first = 0;
  uint32_t last = 0;
};

// Applies the steps options asks for in the order offset, crop, swap, split, fill or pad,
// mirror. Wrong or clashing options are refused with a message and out left unchanged. in
// and out may be one image: shaped in place, it is not copied when no step is asked, nor
// for a fill that no later step can refuse.
// Fill covers the target's range, else the chip's capacity, else the image's span; pad
// fills with FF up to the capacity (or the range given).
bool ShapeImage(const SparseImage& in, const ShapeOptions& options, const ShapeTarget& target,
                SparseImage& out, std::string& error);

}  // namespace zemb
