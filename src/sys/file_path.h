// The platform half of file_bytes: how a program path reaches the file system.
#pragma once

#include <cstdio>
#include <string>

namespace sys {

std::FILE* OpenFile(const std::string& path, const char* mode);
bool IsPlainFileOnDisk(const std::string& path);
bool RemoveFileOnDisk(const std::string& path);

}  // namespace sys
