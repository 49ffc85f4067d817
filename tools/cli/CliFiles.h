// The CLI's file and stream I/O: reading an image from a file or standard input, checking
// it before anything is sent, writing a read's lines, and checked writes to the standard
// streams.
#pragma once

#include <iosfwd>
#include <string>

namespace zemb::cli {

// How a FILE operand is named in messages ("-" is standard input).
std::string FileDisplayName(const std::string& file);

// Reads FILE, or the stream in for "-", within the image limits (size and line count).
// Only a regular file is read; anything else is refused by its kind.
bool ReadImageInput(const std::string& file, std::istream* in, std::string& bytes,
                    std::string& error);

// Refuses an output FILE that could not be written, before the device is asked for data.
bool CheckOutputTarget(const std::string& file, std::string& error);

// Writes a read's text to FILE, or to out for "-".
bool WriteOutput(const std::string& file, const std::string& text, std::ostream& out,
                 std::string& error);

// Writes text and flushes; false when the stream could not take it.
bool WriteChecked(std::ostream& stream, const std::string& text);

}  // namespace zemb::cli
