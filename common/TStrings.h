// The line list: an ordered list of byte-string lines, shared by the device component
// (its Lines and Log), the window's memo and the settings store.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zemb {

class TStrings {
 public:
  virtual ~TStrings() = default;

  virtual int Count() const = 0;
  // The line at index (0 <= index < Count()); throws std::out_of_range otherwise.
  virtual std::string Get(int index) const = 0;
  virtual void Add(const std::string& line) = 0;
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;

  // Replaces every line at once. Implementations with an expensive Add (the memo) override it.
  virtual void SetLines(std::vector<std::string> lines);
  // All lines, each followed by CR LF.
  virtual std::string Text() const;
  // Splits text into lines by SplitLines and replaces the list with them.
  virtual void SetText(const std::string& text);

  // Bulk changes between these two calls may be applied to a view only at the end.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}

  // Replaces the lines with the lines of an image file; EFOpenError when it cannot be read,
  // is not a regular file, is over the image limits or holds binary bytes (a NUL byte would
  // otherwise cut the list short without a word).
  void LoadFromFile(const std::string& path);
  // Writes Text() by WriteUserFile: EFCreateError when the file cannot be created or may
  // not be written, EWriteError when the write stops short (the old file survives).
  void SaveToFile(const std::string& path) const;

  // Index of the first line whose name (the text before its first "=") equals name,
  // ASCII case folded; -1 when none does. A line without "=" has no name.
  int IndexOfName(const std::string& name) const;
  // The text after the "=" of the line IndexOfName finds, or "" when none matches.
  std::string Values(const std::string& name) const;
};

// Splits at CR LF, a lone LF and a lone CR (LF CR is two line ends); stops at a NUL byte;
// a line end after the last line adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);

// text with the ASCII letters A to Z lower-cased and every other byte as it is.
std::string AsciiLower(std::string_view text);

// Compares two texts with ASCII letters folded to one case and every other byte as it is.
// Negative, zero or positive like strcmp.
int CompareTextNoCase(const std::string& a, const std::string& b);

// RAII pairing of BeginUpdate and EndUpdate.
class TStringsUpdate {
 public:
  explicit TStringsUpdate(TStrings* list) : list_(list) {
    if (list_) list_->BeginUpdate();
  }
  ~TStringsUpdate() {
    if (list_) list_->EndUpdate();
  }
  TStringsUpdate(const TStringsUpdate&) = delete;
  TStringsUpdate& operator=(const TStringsUpdate&) = delete;

 private:
  TStrings* list_;
};

// The plain in-memory line list.
class TStringList : public TStrings {
 public:
  TStringList() = default;
  explicit TStringList(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  int Count() const override { return static_cast<int>(lines_.size()); }
  std::string Get(int index) const override;
  void Add(const std::string& line) override { lines_.push_back(line); }
  void Clear() override { lines_.clear(); }
  void Delete(int index) override;
  void SetLines(std::vector<std::string> lines) override { lines_ = std::move(lines); }

  const std::vector<std::string>& Lines() const { return lines_; }

 protected:
  std::vector<std::string> lines_;
};

// A line list kept as one block of text and where each line ends in it: a few bytes per
// line beyond its text instead of a string each, for the million lines an image upload may
// send. The same lines as TStringList, line for line.
class TPackedStringList : public TStrings {
 public:
  int Count() const override { return static_cast<int>(ends_.size()); }
  std::string Get(int index) const override;
  void Add(const std::string& line) override;
  void Clear() override;
  void Delete(int index) override;
  void SetLines(std::vector<std::string> lines) override;
  // As SplitLines splits it, without a string per line on the way.
  void SetText(const std::string& text) override;
  // Room for `lines` more lines of `bytes` bytes in all, so that adding them moves nothing.
  void Reserve(size_t lines, size_t bytes);

 private:
  std::string text_;
  std::vector<size_t> ends_;  // one past the last byte of each line in text_
};

// Writes bytes by WriteUserFile with SaveToFile's errors: EFCreateError when the file cannot
// be created or may not be written, EWriteError when the write stops short.
void SaveBytesToFile(const std::string& path, const std::string& bytes);

}  // namespace zemb
