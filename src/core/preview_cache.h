// Names of cached pictures: the last segment of a node path, the rule that keeps it a plain
// file name, the cache file it maps to, and the size text of the detail window.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// Everything after the last `separator` (byte-wise, on GBK character boundaries); empty when
// the separator does not occur.
std::string TextAfterLast(std::string_view text, std::string_view separator);

// True for a name that Windows stores as one plain file in the folder it is put in: not
// empty, no "\" "/" ":" "*" "?" '"' "<" ">" "|", no control byte, no "..", not ending in a
// dot or a space, not a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or
// without an extension), valid GBK, and short enough for a file name (at most 200 bytes).
bool IsPlainFileName(std::string_view name);

// The largest preview or detail picture the program keeps, fetched or read from the cache: a
// preview is about 10 KiB, so this is generous, and a hostile page of thirty 100 MB answers
// cannot fill the memory. A larger one is dropped, as a failed fetch is.
constexpr size_t kMaxPictureBytes = size_t{16} << 20;

// storageFolder + "\图片\" + the path's last "/" segment; empty when that segment is not a
// plain file name, so a name from the node can never reach outside the cache folder.
std::string PreviewCacheFile(std::string_view nodePath);

// A size number as the detail window shows it: below 1024 as "KB", then divided into "MB"
// (twice) and "GB"; a value within 1e-7 of a threshold keeps its value and gets no unit.
// Rounded half away from zero to 2 decimals, "%.13g", one blank, the unit.
std::string FormatSize(double value);

}  // namespace core
