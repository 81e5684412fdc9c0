// Whole-file reads and writes by GBK path, as the preview cache needs them.
//
// Paths are the program's own: GBK with "\" between folders. On Windows they go to the ANSI
// file functions as they are; elsewhere (native tests) they are turned into UTF-8 with "/".
#pragma once

#include <cstdint>
#include <string>

namespace sys {

// True when the path names an existing plain file.
bool FileExists(const std::string& path);

// The whole file; false (and `bytes` empty) when it cannot be opened or read, or when it holds
// more than `maxBytes` (then no more than that is ever read into memory).
bool ReadFileBytes(const std::string& path, std::string* bytes, size_t maxBytes = SIZE_MAX);

// Creates or truncates the file and writes the bytes. On failure the file is removed, so no
// half-written file is left to pass for a complete one.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

bool RemoveFile(const std::string& path);

}  // namespace sys
