#include "ImageShaping.h"

#include <algorithm>
#include <cstdio>

#include "ChipTypes.h"

namespace zemb {
namespace {

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(value));
  return text;
}

bool IsPowerOfTwo(uint64_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

// Bytes at addresses in any order, built into an image at the end: the steps that move
// bytes one by one (swap, split, merge) then cost their data plus one sort.
class ByteCollector {
 public:
  void Reserve(uint64_t count) { bytes_.reserve(static_cast<size_t>(count)); }
  void Add(uint32_t address, uint8_t value) { bytes_.push_back({address, value}); }

  void BuildInto(SparseImage& out) {
    auto byAddress = [](const Byte& a, const Byte& b) { return a.address < b.address; };
    if (!std::is_sorted(bytes_.begin(), bytes_.end(), byAddress)) {
      std::sort(bytes_.begin(), bytes_.end(), byAddress);
    }
    std::vector<uint8_t> run;
    uint32_t start = 0;
    for (size_t i = 0; i < bytes_.size(); ++i) {
      if (!run.empty() && bytes_[i].address != start + run.size()) {
        out.SetRange(start, run.data(), run.size());
        run.clear();
      }
      if (run.empty()) start = bytes_[i].address;
      run.push_back(bytes_[i].value);
    }
    if (!run.empty()) out.SetRange(start, run.data(), run.size());
  }

 private:
  struct Byte {
    uint32_t address;
    uint8_t value;
  };
  std::vector<Byte> bytes_;
};

}  // namespace

bool OffsetImage(const SparseImage& in, int64_t delta, SparseImage& out, std::string& error) {
  if (!in.Empty()) {
    const int64_t low = int64_t{in.MinAddress()} + delta;
    const int64_t high = int64_t{in.MaxAddress()} + delta;
    if (low < 0 || high > int64_t{0xFFFFFFFF}) {
      error = "moving the image by " + std::string(delta < 0 ? "-" : "") +
              Hex(static_cast<uint64_t>(delta < 0 ? -delta : delta)) + " puts its data (" +
              Hex(in.MinAddress()) + "-" + Hex(in.MaxAddress()) + ") outside 0x0000-0xFFFFFFFF";
      return false;
    }
  }
  SparseImage moved;
  in.ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
    moved.SetRange(static_cast<uint32_t>(int64_t{address} + delta), data, size);
  });
  out = std::move(moved);
  return true;
}

SparseImage CropImage(const SparseImage& in, uint32_t first, uint32_t last) {
  SparseImage kept;
  in.ForEachRunIn(first, last, [&](uint32_t address, const uint8_t* data, size_t size) {
    kept.SetRange(address, data, size);
  });
  return kept;
}

SparseImage SwapBytes(const SparseImage& in) {
  ByteCollector swapped;
  swapped.Reserve(in.Count());
  in.ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      swapped.Add((address + static_cast<uint32_t>(i)) ^ 1u, data[i]);
    }
  });
  SparseImage out;
  swapped.BuildInto(out);
  return out;
}

bool SplitImage(const SparseImage& in, uint32_t lanes, uint32_t lane, uint32_t width,
                SparseImage& out, std::string& error) {
  if (lanes < 1 || width < 1) {
    error = "a split needs at least one lane of at least one byte";
    return false;
  }
  if (lane >= lanes) {
    error = "split lane " + std::to_string(lane) + " is past the " + std::to_string(lanes) +
            " lanes (0 to " + std::to_string(lanes - 1) + ")";
    return false;
  }
  const uint64_t stride = uint64_t{lanes} * width;
  if (stride > 0xFFFFFFFFu) {
    error = "a split of " + std::to_string(lanes) + " lanes of " + std::to_string(width) +
            " bytes is wider than the address space";
    return false;
  }
  const uint64_t skip = uint64_t{lane} * width;
  ByteCollector kept;
  in.ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      const uint64_t at = uint64_t{address} + i;
      const uint64_t within = at % stride;
      if (within < skip || within >= skip + width) continue;
      kept.Add(static_cast<uint32_t>(at / stride * width + (within - skip)), data[i]);
    }
  });
  SparseImage result;
  kept.BuildInto(result);
  out = std::move(result);
  return true;
}

namespace {

// Refuses a fill range that ends before it starts or that the result could not afford.
bool CheckFillRange(uint32_t first, uint32_t last, std::string& error) {
  if (first > last) {
    error = "the fill range " + Hex(first) + "-" + Hex(last) + " ends before it starts";
    return false;
  }
  if (uint64_t{last} - first + 1 > kMaxShapedSpan) {
    error = "the fill range " + Hex(first) + "-" + Hex(last) + " is larger than " +
            CapacityText(kMaxShapedSpan);
    return false;
  }
  return true;
}

}  // namespace

bool FillImage(const SparseImage& in, uint32_t first, uint32_t last, uint8_t value,
               SparseImage& out, std::string& error) {
  if (!CheckFillRange(first, last, error)) return false;
  SparseImage filled = in;
  filled.FillGaps(first, last, value);
  out = std::move(filled);
  return true;
}

bool MirrorImage(const SparseImage& in, uint64_t capacity, SparseImage& out, std::string& error,
                 std::string_view part) {
  if (in.Empty()) {
    error = "an empty image cannot be mirrored";
    return false;
  }
  const uint64_t size = uint64_t{in.MaxAddress()} + 1;
  if (!IsPowerOfTwo(size)) {
    error = "an image up to " + Hex(in.MaxAddress()) + " is " + CapacityText(size) +
            ", not a power of two: mirroring needs an image from 0 of 1, 2, 4, ... KiB";
    return false;
  }
  if (size > capacity) {
    error = "the image (" + CapacityText(size) + ") is larger than the " + CapacityText(capacity) +
            " of " + (part.empty() ? std::string("the chip") : "a " + std::string(part)) +
            ": nothing to mirror";
    return false;
  }
  if (capacity % size != 0 || capacity > kMaxShapedSpan) {
    error = "a capacity of " + CapacityText(capacity) + " cannot hold whole copies of " +
            CapacityText(size);
    return false;
  }
  SparseImage mirrored = in;
  for (uint64_t copy = size; copy < capacity; copy += size) {
    in.ForEachRun([&](uint32_t address, const uint8_t* data, size_t length) {
      mirrored.SetRange(static_cast<uint32_t>(copy + address), data, length);
    });
  }
  out = std::move(mirrored);
  return true;
}

bool MergeImages(const std::vector<const SparseImage*>& lanes, uint32_t width, SparseImage& out,
                 std::string& error, const std::vector<std::string>& names) {
  auto name = [&names](size_t k) {
    return k < names.size() && !names[k].empty() ? names[k] : "input " + std::to_string(k);
  };
  if (lanes.empty() || width < 1) {
    error = "a merge needs at least one input and a width of at least one byte";
    return false;
  }
  auto sizeOf = [](const SparseImage& image) {
    return image.Empty() ? uint64_t{0} : uint64_t{image.MaxAddress()} + 1;
  };
  const uint64_t size = sizeOf(*lanes[0]);
  for (size_t k = 1; k < lanes.size(); ++k) {
    const uint64_t other = sizeOf(*lanes[k]);
    if (other != size) {
      error = "the inputs differ in size: " + name(0) + " holds " + Hex(size) + " bytes, " +
              name(k) + " " + Hex(other);
      return false;
    }
  }
  const uint64_t stride = uint64_t{width} * lanes.size();
  if ((size + width - 1) / width * stride > uint64_t{0xFFFFFFFF} + 1) {
    error = "the merged image would run past address 0xFFFFFFFF";
    return false;
  }
  ByteCollector merged;
  uint64_t total = 0;
  for (const SparseImage* lane : lanes) total += lane->Count();
  merged.Reserve(total);
  for (size_t k = 0; k < lanes.size(); ++k) {
    lanes[k]->ForEachRun([&](uint32_t address, const uint8_t* data, size_t length) {
      for (size_t i = 0; i < length; ++i) {
        const uint64_t at = uint64_t{address} + i;
        merged.Add(static_cast<uint32_t>(at / width * stride + k * width + at % width), data[i]);
      }
    });
  }
  SparseImage result;
  merged.BuildInto(result);
  out = std::move(result);
  return true;
}

bool ShapeImage(const SparseImage& in, const ShapeOptions& options, const ShapeTarget& target,
                SparseImage& out, std::string& error) {
  if (options.mirror && target.capacity == 0) {
    error = "mirroring repeats the image through the chip: it needs a chip type";
    return false;
  }
  if (options.pad && options.fill) {
    error = "fill and pad clash: pad is a fill with FF up to the chip's capacity";
    return false;
  }
  if (options.pad && target.capacity == 0 && !target.hasRange) {
    error = "padding fills up to the chip's capacity: it needs a chip type or a range";
    return false;
  }
  if (options.crop && options.cropFirst > options.cropLast) {
    error = "the crop range " + Hex(options.cropFirst) + "-" + Hex(options.cropLast) +
            " ends before it starts";
    return false;
  }
  // Each step reads the result of the one before: at most two images are held at once, and
  // none is copied when no step is asked.
  const SparseImage* current = &in;
  SparseImage work;
  auto step = [&](auto&& apply) {
    SparseImage next;
    if (!apply(*current, next)) return false;
    work = std::move(next);
    current = &work;
    return true;
  };
  if (options.offset && !step([&](const SparseImage& from, SparseImage& to) {
        return OffsetImage(from, options.offsetBy, to, error);
      })) {
    return false;
  }
  if (options.crop) {
    step([&](const SparseImage& from, SparseImage& to) {
      to = CropImage(from, options.cropFirst, options.cropLast);
      return true;
    });
  }
  if (options.swap) {
    step([](const SparseImage& from, SparseImage& to) {
      to = SwapBytes(from);
      return true;
    });
  }
  if (options.split && !step([&](const SparseImage& from, SparseImage& to) {
        return SplitImage(from, options.splitLanes, options.splitLane, options.splitWidth, to,
                          error);
      })) {
    return false;
  }
  if ((options.fill || options.pad) &&
      !(current->Empty() && !target.hasRange && target.capacity == 0)) {
    // The range given, else the chip, else the data's own span.
    uint32_t first = 0;
    uint32_t last = 0;
    if (target.hasRange) {
      first = target.first;
      last = target.last;
    } else if (target.capacity > 0) {
      last = static_cast<uint32_t>(std::min<uint64_t>(target.capacity, uint64_t{1} << 32) - 1);
    } else {
      first = current->MinAddress();
      last = current->MaxAddress();
    }
    const uint8_t value = options.pad ? 0xFF : options.fillValue;
    // The result of an earlier step is this function's own, and an image shaped in place
    // may change once nothing after the fill can refuse: either is filled where it is,
    // rather than copied first.
    const bool inPlace = &out == &in && !options.mirror;
    if (current == &work || inPlace) {
      if (!CheckFillRange(first, last, error)) return false;
      (current == &work ? work : out).FillGaps(first, last, value);
    } else if (!step([&](const SparseImage& from, SparseImage& to) {
                 return FillImage(from, first, last, value, to, error);
               })) {
      return false;
    }
  }
  if (options.mirror && !step([&](const SparseImage& from, SparseImage& to) {
        return MirrorImage(from, target.capacity, to, error, target.part);
      })) {
    return false;
  }
  if (current == &work) {
    out = std::move(work);
  } else if (&out != &in) {
    out = in;
  }
  return true;
}

}  // namespace zemb
