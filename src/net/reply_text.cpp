#include "net/reply_text.h"

#include <cstring>

namespace net {

namespace {
constexpr std::string_view kSep = "(＆)";
constexpr int kAppendedSeparators = 17;
}  // namespace

std::vector<std::string> SplitFields(std::string_view text) {
    std::vector<std::string> fields;
    size_t fieldStart = 0;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (i + 1 >= text.size()) break;
            i += 2;
            continue;
        }
        if (text.compare(i, kSep.size(), kSep) == 0) {
            fields.emplace_back(text.substr(fieldStart, i - fieldStart));
            i += kSep.size();
            fieldStart = i;
            continue;
        }
        ++i;
    }
    if (fieldStart < text.size()) fields.emplace_back(text.substr(fieldStart));
    return fields;
}

std::vector<std::string> SplitReply(const uint8_t* data, size_t length) {
    std::string text;
    if (data && length > 0) {
        const void* zero = std::memchr(data, 0, length);
        size_t used = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : length;
        text.assign(reinterpret_cast<const char*>(data), used);
    }
    text.reserve(text.size() + kSep.size() * kAppendedSeparators);
    for (int i = 0; i < kAppendedSeparators; ++i) text.append(kSep);
    return SplitFields(text);
}

}  // namespace net
