#include "TStrings.h"

#include <stdexcept>

#include "Errors.h"
#include "FileIO.h"

namespace zemb {

namespace {

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

void CheckIndex(int index, size_t count) {
  if (index < 0 || static_cast<size_t>(index) >= count) {
    throw std::out_of_range("line index " + std::to_string(index) + " out of bounds");
  }
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  size_t start = 0;
  size_t i = 0;
  while (i < end) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out.emplace_back(text, start, i - start);
      if (c == '\r' && i + 1 < end && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < end) out.emplace_back(text, start, end - start);
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

int CompareTextNoCase(const std::string& a, const std::string& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
    const unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void TStrings::SetLines(std::vector<std::string> lines) {
  TStringsUpdate update(this);
  Clear();
  for (const auto& line : lines) Add(line);
}

std::string TStrings::Text() const {
  std::string out;
  const int n = Count();
  for (int i = 0; i < n; ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const std::string& text) {
  SetLines(SplitLines(text));
}

void TStrings::LoadFromFile(const std::string& path) {
  std::string bytes;
  if (!ReadImageFile(path, bytes) || !CheckTextImage(bytes)) throw EFOpenError(path);
  SetText(bytes);
}

void SaveBytesToFile(const std::string& path, const std::string& bytes) {
  switch (WriteUserFile(path, bytes).result) {
    case WriteResult::Ok:
      return;
    case WriteResult::CannotCreate:
      throw EFCreateError(path);
    case WriteResult::WriteFailed:
      throw EWriteError();
  }
}

void TStrings::SaveToFile(const std::string& path) const {
  SaveBytesToFile(path, Text());
}

int TStrings::IndexOfName(const std::string& name) const {
  const int n = Count();
  for (int i = 0; i < n; ++i) {
    const std::string line = Get(i);
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (CompareTextNoCase(line.substr(0, eq), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& name) const {
  const int i = IndexOfName(name);
  if (i < 0) return std::string();
  const std::string line = Get(i);
  return line.substr(line.find('=') + 1);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index, lines_.size());
  return lines_[static_cast<size_t>(index)];
}

void TStringList::Delete(int index) {
  CheckIndex(index, lines_.size());
  lines_.erase(lines_.begin() + index);
}

std::string TPackedStringList::Get(int index) const {
  CheckIndex(index, ends_.size());
  const auto i = static_cast<size_t>(index);
  const size_t start = i == 0 ? 0 : ends_[i - 1];
  return text_.substr(start, ends_[i] - start);
}

void TPackedStringList::Add(const std::string& line) {
  text_ += line;
  ends_.push_back(text_.size());
}

void TPackedStringList::Clear() {
  text_.clear();
  text_.shrink_to_fit();
  ends_.clear();
  ends_.shrink_to_fit();
}

void TPackedStringList::Delete(int index) {
  CheckIndex(index, ends_.size());
  const auto i = static_cast<size_t>(index);
  const size_t start = i == 0 ? 0 : ends_[i - 1];
  const size_t length = ends_[i] - start;
  text_.erase(start, length);
  ends_.erase(ends_.begin() + index);
  for (size_t j = i; j < ends_.size(); ++j) ends_[j] -= length;
}

void TPackedStringList::SetLines(std::vector<std::string> lines) {
  size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size();
  Clear();
  Reserve(lines.size(), bytes);
  for (const std::string& line : lines) Add(line);
}

void TPackedStringList::SetText(const std::string& text) {
  Clear();
  size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  size_t breaks = 0;
  for (size_t i = 0; i < end; ++i) breaks += text[i] == '\r' || text[i] == '\n';
  Reserve(breaks + 1, end);
  size_t start = 0;
  for (size_t i = 0; i < end; ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    text_.append(text, start, i - start);
    ends_.push_back(text_.size());
    if (c == '\r' && i + 1 < end && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < end) {
    text_.append(text, start, end - start);
    ends_.push_back(text_.size());
  }
}

void TPackedStringList::Reserve(size_t lines, size_t bytes) {
  ends_.reserve(ends_.size() + lines);
  text_.reserve(text_.size() + bytes);
}

}  // namespace zemb
