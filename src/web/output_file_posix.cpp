#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "web/output_file.h"

namespace web {

bool PathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

int64_t ExistingFileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path, int64_t size) {
    Close();
    if (size < 0) return false;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    file_ = fd;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        Close();
        ::unlink(path.c_str());
        return false;
    }
    size_ = size;
    return true;
}

bool OutputFile::WriteAt(int64_t offset, const char* data, size_t length) {
    if (file_ < 0 || offset < 0 || offset + static_cast<int64_t>(length) > size_) return false;
    while (length > 0) {
        ssize_t n = ::pwrite(static_cast<int>(file_), data, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        offset += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void OutputFile::Close() {
    if (file_ >= 0) ::close(static_cast<int>(file_));
    file_ = -1;
    size_ = 0;
}

}  // namespace web
