#include <windows.h>

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
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    file_ = reinterpret_cast<intptr_t>(file);
    LARGE_INTEGER end;
    end.QuadPart = size;
    if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
        Close();
        DeleteFileA(path.c_str());
        return false;
    }
    size_ = size;
    if (size == 0) return true;
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, static_cast<DWORD>(size >> 32),
                                        static_cast<DWORD>(size), nullptr);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(size)) : nullptr;
    if (view == nullptr) {
        if (mapping) CloseHandle(mapping);
        Close();
        DeleteFileA(path.c_str());
        return false;
    }
    mapping_ = reinterpret_cast<intptr_t>(mapping);
    data_ = static_cast<char*>(view);
    return true;
}

// Windows has no write-populate advice; the first touch of each page pays its own fault.
void MappedFile::Prefault(int64_t, int64_t) {}

void MappedFile::Close() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
    data_ = nullptr;
    if (mapping_ != 0) CloseHandle(reinterpret_cast<HANDLE>(mapping_));
    mapping_ = 0;
    if (file_ != -1) CloseHandle(reinterpret_cast<HANDLE>(file_));
    file_ = -1;
    size_ = 0;
}

}  // namespace web
