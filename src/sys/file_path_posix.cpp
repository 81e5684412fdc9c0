// Outside Windows a program path is GBK with "\": spell it as UTF-8 with "/".
#include <sys/stat.h>
#include <unistd.h>

#include "sys/file_path.h"
#include "sys/text.h"

namespace sys {
namespace {

std::string Local(const std::string& path) {
    // Converted first: a GBK trail byte may be 0x5C, which is not a separator.
    std::string utf8 = GbkToUtf8(path);
    for (char& c : utf8)
        if (c == '\\') c = '/';
    return utf8;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
    return std::fopen(Local(path).c_str(), mode);
}

bool IsPlainFileOnDisk(const std::string& path) {
    struct stat st;
    return ::stat(Local(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFileOnDisk(const std::string& path) { return ::unlink(Local(path).c_str()) == 0; }

}  // namespace sys
