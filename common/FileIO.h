// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <string>

namespace zemb {

// Reads the whole file into bytes. False when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

enum class WriteResult { Ok, CannotCreate, WriteFailed };

// Writes bytes to a temporary file in the same folder, flushes it to disk and renames it
// over path. On any failure the temporary file is removed and the old file at path, if
// any, is left exactly as it was.
WriteResult WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace zemb
