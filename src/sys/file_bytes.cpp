// Portable whole-file access over stdio; the platform part only spells the path.
#include "sys/file_bytes.h"

#include <cstdio>
#include <memory>

#include "sys/file_path.h"

namespace sys {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool FileExists(const std::string& path) { return !path.empty() && IsPlainFileOnDisk(path); }

bool ReadFileBytes(const std::string& path, std::string* bytes, size_t maxBytes) {
    bytes->clear();
    if (path.empty()) return false;
    File f(OpenFile(path, "rb"));
    if (!f) return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        if (n > maxBytes - bytes->size()) {
            bytes->clear();
            bytes->shrink_to_fit();
            return false;
        }
        bytes->append(buffer, n);
    }
    if (std::ferror(f.get())) {
        bytes->clear();
        return false;
    }
    return true;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    bool ok;
    {
        File f(OpenFile(path, "wb"));
        if (!f) return false;
        ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
        ok = std::fflush(f.get()) == 0 && ok;
    }
    if (!ok) RemoveFile(path);
    return ok;
}

bool RemoveFile(const std::string& path) { return !path.empty() && RemoveFileOnDisk(path); }

}  // namespace sys
