// An output file created new at its final size and mapped for writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace web {

// True when a file or folder exists at path (GBK path on Windows).
bool PathExists(const std::string& path);
// Size of an existing file; 0 when it cannot be read.
int64_t ExistingFileSize(const std::string& path);

class MappedFile {
  public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Creates the file (failing when it exists: never overwrites), sets its size and maps it
    // for writing. A size of 0 makes an empty file with no mapping.
    [[nodiscard]] bool Create(const std::string& path, int64_t size);

    // The writable view; null for an empty file. Valid until Close.
    char* Data() const { return data_; }
    int64_t Size() const { return size_; }

    // Asks the system to back [offset, offset + length) with pages now, so writes into it do
    // not stop at a fault for every first touch. A hint: failure changes nothing.
    void Prefault(int64_t offset, int64_t length);

    // Unmaps the view and closes the file.
    void Close();

  private:
    char* data_ = nullptr;
    int64_t size_ = 0;
    intptr_t file_ = -1;
    intptr_t mapping_ = 0;
};

}  // namespace web
