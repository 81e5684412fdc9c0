#include "sys/paths.h"

#include <unistd.h>

#include <climits>

namespace sys {

std::string ProgramFolder() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string path(buffer, static_cast<size_t>(n));
    size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace sys
