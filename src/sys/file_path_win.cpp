// On Windows a program path is already what the ANSI file functions take (code page 936).
#include <windows.h>

#include "sys/file_path.h"

namespace sys {

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool IsPlainFileOnDisk(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFileOnDisk(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

}  // namespace sys
