// The image formats the window takes in and writes out. Intel HEX text is what the memo
// holds and the device takes; a binary or S-record file is turned into Intel HEX lines on
// the way in, as the command line does, and a read can be saved in either on the way out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageFormats.h"
#include "TStrings.h"

namespace zemb::ui {

// The memo lines for a file's bytes: an Intel HEX file's own lines (refused only for a NUL
// byte), or the records converted from a binary image (placed at 0) or an S-record file
// behind ;MinAdr and ;MaxAdr lines. False when the file is none of these or its data break
// the image rules; reason then says why.
bool ImageFileLines(const std::string& path, const std::string& bytes,
                    std::vector<std::string>& lines, std::string& reason);

// The filter pairs of the open and save dialogs; descriptions in the window's language.
std::string OpenDialogFilter();
std::string SaveDialogFilter();

// The format a read is saved in: the one the typed extension names, else the one the
// extension of the chosen filter's first pattern names (filterIndex counts the pairs of
// filter from 1), else Intel HEX.
ImageFormat SaveFormat(const std::string& path, const std::string& filter, int filterIndex);

// The bytes of a read saved as S-record or binary: the memo's records as an image; a
// binary spans start..end with FF where the device sent nothing. False with a reason when
// the records do not make an image or a binary cannot hold them.
bool ConvertReadImage(const TStrings& lines, ImageFormat format, uint32_t start, uint32_t end,
                      std::string& bytes, std::string& reason);

}  // namespace zemb::ui
