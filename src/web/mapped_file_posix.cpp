#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "web/mapped_file.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace web {

bool PathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

int64_t ExistingFileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

MappedFile::~MappedFile() { Close(); }

bool MappedFile::Create(const std::string& path, int64_t size) {
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
    if (size == 0) return true;
    void* view = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        Close();
        ::unlink(path.c_str());
        return false;
    }
    data_ = static_cast<char*>(view);
    ::madvise(view, static_cast<size_t>(size), MADV_SEQUENTIAL);
    return true;
}

void MappedFile::Prefault(int64_t offset, int64_t length) {
    if (data_ == nullptr || offset >= size_ || length <= 0) return;
    if (offset + length > size_) length = size_ - offset;
    static const long page = ::sysconf(_SC_PAGESIZE);
    int64_t begin = offset / page * page;
    // Kernels before 5.14 reject the advice; the writes then fault page by page as usual.
    ::madvise(data_ + begin, static_cast<size_t>(offset + length - begin), MADV_POPULATE_WRITE);
}

void MappedFile::Close() {
    if (data_ != nullptr) ::munmap(data_, static_cast<size_t>(size_));
    data_ = nullptr;
    if (file_ >= 0) ::close(static_cast<int>(file_));
    file_ = -1;
    size_ = 0;
}

}  // namespace web
