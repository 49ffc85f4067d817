// The one path by which the programs read and write a user's files (images, the settings
// file, the CLI's output).
#pragma once

#include <cstddef>
#include <string>

namespace zemb {

// Far above any image of the largest chip on the type list (1 Mbit, well under 1 MB as
// Intel HEX) and far below what hurts the window or the settings file.
constexpr size_t kMaxImageBytes = size_t{16} * 1024 * 1024;
// An image of the largest chip at one data byte per record has 131072 lines; the cap keeps
// the memory of the line list within a small multiple of the image's size.
constexpr size_t kMaxImageLines = size_t{1} << 20;

// Outcome of a read: reason is a short text without the path ("is a FIFO", "No such file or
// directory"), meant to follow "cannot read PATH: ".
struct ReadResult {
  bool ok = true;
  std::string reason;
  explicit operator bool() const { return ok; }
};

// Reads a regular file (a symbolic link to one counts) whole, at most maxBytes. The open
// never blocks: a FIFO, a device, a socket or a folder is refused at once by its kind.
ReadResult ReadUserFile(const std::string& path, std::string& bytes,
                        size_t maxBytes = kMaxImageBytes);

// Refuses text with more lines than kMaxImageLines (counted the way SplitLines counts).
ReadResult CheckImageLines(const std::string& bytes);

// Refuses text that holds a NUL byte or another control byte no text file has (anything
// below 0x20 but tab, line feed, vertical tab, form feed, carriage return and the old end
// of file mark 0x1A); the reason names the 1-based line.
ReadResult CheckTextImage(const std::string& bytes);

// ReadUserFile followed by CheckImageLines: what every image load goes through.
ReadResult ReadImageFile(const std::string& path, std::string& bytes);

// The old name, kept for callers that only need a yes or no; reads up to kMaxImageBytes.
bool ReadWholeFile(const std::string& path, std::string& bytes);

enum class WriteResult {
  Ok,
  CannotCreate,  // refused before anything was written: the target is unchanged
  WriteFailed,   // the data did not all arrive: a regular target is unchanged
};

struct WriteOutcome {
  WriteResult result = WriteResult::Ok;
  std::string reason;  // like ReadResult::reason
  explicit operator bool() const { return result == WriteResult::Ok; }
};

// Writes bytes to the file at path.
// - A regular file, a symbolic link to one or a new name: the data goes to a temporary file
//   in the target's own folder, is flushed to disk and renamed over the target (the link,
//   if any, stays and the file it names is replaced), with the target's mode and owner
//   kept. A target this user could not open for writing is refused, and so is one without
//   any write permission bit even for the superuser, since such a file is write-protected
//   on purpose. On any failure the temporary file is removed and the old file is left
//   byte for byte.
// - A character device, FIFO or socket: written straight through, in order; a FIFO without
//   a reader is refused at once. Such a target is never unlinked or renamed over.
// - A folder or block device is refused.
WriteOutcome WriteUserFile(const std::string& path, const std::string& bytes);

// The checks WriteUserFile makes before it writes anything, so that a caller can refuse a
// target before it does work whose result would have nowhere to go. A FIFO passes here
// and may still be refused when the write finds nobody reading it.
WriteOutcome CheckWriteTarget(const std::string& path);

// The old name of WriteUserFile.
WriteResult WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace zemb
