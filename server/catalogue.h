// The picture collection as the node sees it after one scan: an immutable snapshot that the
// protocol and the HTTP side read without locks; a rescan builds a new one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "node_config.h"

namespace node {

struct Picture {
    std::string key;          // 16 hex digits; names the picture in every URL and path
    std::string category;     // GBK
    std::string sourceUtf8;   // the original file
    std::string relUtf8;      // the original relative to the catalogue root, '/'-separated
    std::string countKey;     // UTF-8 "category/relative path": the row of its counts
    std::string title;        // GBK, one line
    std::string description;  // GBK
    int width = 0;
    int height = 0;
    uint64_t bytes = 0;
    int64_t mtime = 0;
    bool needsJpeg = false;  // served as a converted JPEG: the client decodes JPEG, PNG and BMP
};

class Catalogue {
  public:
    const std::vector<Picture>& pictures() const { return pictures_; }
    // Indexes into pictures(), in scan order (by relative path), of one category.
    const std::vector<size_t>& InCategory(const std::string& categoryGbk) const;
    const Picture* ByKey(const std::string& key) const;
    size_t size() const { return pictures_.size(); }

  private:
    friend std::shared_ptr<const Catalogue> ScanCatalogue(const Config& config, std::string* report);
    std::vector<Picture> pictures_;
    std::map<std::string, std::vector<size_t>> byCategory_;
    std::map<std::string, size_t> byKey_;
};

// Walks the folders of every category. Unreadable files and folders are skipped and named in
// the log. `report`, when given, receives a one-line summary.
std::shared_ptr<const Catalogue> ScanCatalogue(const Config& config, std::string* report = nullptr);

// Removes what would break a reply's framing: the field separator, the list separators
// "[a]" and "[q]", zero and other control bytes (tab and line breaks are kept when
// `multiline`). Input and output are GBK.
std::string WireText(const std::string& gbk, bool multiline = false);

bool IsPictureFileName(const std::string& nameUtf8);

}  // namespace node
