#include <windows.h>

#include <utility>

#include "sys/scoped_win.h"
#include "sys/trace_win.h"
#include "web/output_file.h"

namespace web {

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int64_t ExistingFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path, int64_t size) {
    Close();
    if (size < 0) return false;
    sys::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        sys::TraceLastError("CreateFileA");
        return false;
    }
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get())) {
        sys::TraceLastError("SetEndOfFile");
        file.reset();
        DeleteFileA(path.c_str());
        return false;
    }
    file_ = reinterpret_cast<intptr_t>(file.release());
    size_ = size;
    return true;
}

bool OutputFile::WriteAt(int64_t offset, const char* data, size_t length) {
    if (file_ == -1 || offset < 0 || offset + static_cast<int64_t>(length) > size_) return false;
    HANDLE file = reinterpret_cast<HANDLE>(file_);
    while (length > 0) {
        // A synchronous handle still takes its position from the OVERLAPPED record, so threads
        // writing different ranges need no shared file pointer.
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
        DWORD n = 0;
        if (!WriteFile(file, data, chunk, &n, &at) || n == 0) {
            sys::TraceLastError("WriteFile");
            return false;
        }
        data += n;
        offset += n;
        length -= n;
    }
    return true;
}

void OutputFile::Close() {
    // The portable header keeps the handle as a number; its owner takes it back here.
    sys::ScopedHandle file(reinterpret_cast<HANDLE>(std::exchange(file_, -1)));
    size_ = 0;
}

}  // namespace web
