#include <windows.h>

#include <utility>

#include "sys/scoped_win.h"
#include "sys/trace_win.h"
#include "web/mapped_file.h"

namespace web {

bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int64_t ExistingFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

MappedFile::~MappedFile() { Close(); }

bool MappedFile::Create(const std::string& path, int64_t size) {
    Close();
    if (size < 0) return false;
    sys::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        sys::TraceLastError("CreateFileA");
        return false;
    }
    // Until it is complete, a failure removes the file it made.
    auto fail = [&](const char* api) {
        sys::TraceLastError(api);
        file.reset();
        DeleteFileA(path.c_str());
        return false;
    };
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN)) return fail("SetFilePointerEx");
    if (!SetEndOfFile(file.get())) return fail("SetEndOfFile");
    if (size > 0) {
        sys::ScopedHandle mapping(CreateFileMappingA(file.get(), nullptr, PAGE_READWRITE,
                                                     static_cast<DWORD>(size >> 32), static_cast<DWORD>(size),
                                                     nullptr));
        if (!mapping) return fail("CreateFileMappingA");
        void* view = MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(size));
        if (!view) return fail("MapViewOfFile");
        mapping_ = reinterpret_cast<intptr_t>(mapping.release());
        data_ = static_cast<char*>(view);
    }
    file_ = reinterpret_cast<intptr_t>(file.release());
    size_ = size;
    return true;
}

// Windows has no write-populate advice; the first touch of each page pays its own fault.
void MappedFile::Prefault(int64_t, int64_t) {}

void MappedFile::Close() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
    data_ = nullptr;
    // The portable header keeps the handles as numbers; their owners take them back here.
    sys::ScopedHandle mapping(reinterpret_cast<HANDLE>(std::exchange(mapping_, 0)));
    sys::ScopedHandle file(reinterpret_cast<HANDLE>(std::exchange(file_, -1)));
    size_ = 0;
}

}  // namespace web
