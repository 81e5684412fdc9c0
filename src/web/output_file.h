// The output file of a transfer: created new at its final size, written at offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace web {

// True when a file or folder exists at path (GBK path on Windows).
bool PathExists(const std::string& path);
// Size of an existing file; 0 when it cannot be read.
int64_t ExistingFileSize(const std::string& path);

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file (failing when it exists: never overwrites) and sets its size.
    [[nodiscard]] bool Create(const std::string& path, int64_t size);

    // Writes the bytes at the offset; false when not all of them could be written. Safe from
    // several threads at once (each write carries its own offset).
    [[nodiscard]] bool WriteAt(int64_t offset, const char* data, size_t length);

    int64_t Size() const { return size_; }

    void Close();

  private:
    int64_t size_ = 0;
    intptr_t file_ = -1;
};

}  // namespace web
