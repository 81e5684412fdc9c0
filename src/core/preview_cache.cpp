#include "core/preview_cache.h"

#include <array>

#include "core/settings.h"
#include "sys/text.h"

namespace core {
namespace {

// Longer names would exceed MAX_PATH with an ordinary storage folder in front of them.
constexpr size_t kMaxNameBytes = 200;

bool IsReservedDeviceName(std::string_view name) {
    // The device name counts with any extension: "con.jpg" opens the console too.
    std::string stem = sys::ToUpperAscii(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static constexpr std::array<const char*, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (const char* d : kPlain)
        if (stem == d) return true;
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0))
        return stem[3] >= '1' && stem[3] <= '9';
    return false;
}

bool IsValidGbk(std::string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) continue;
        if (c == 0x80 || c == 0xFF || i + 1 == name.size()) return false;
        unsigned char t = static_cast<unsigned char>(name[++i]);
        if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    }
    return true;
}

}  // namespace

std::string TextAfterLast(std::string_view text, std::string_view separator) {
    int q = sys::FindLast(text, separator);
    if (q < 1) return {};
    return std::string(text.substr(static_cast<size_t>(q - 1) + separator.size()));
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameBytes || !IsValidGbk(name)) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x81) {
            ++i;  // a trail byte may be 0x5C or 0x7C and is still no separator
            continue;
        }
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    }
    if (name.find("..") != std::string_view::npos) return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    return !IsReservedDeviceName(name);
}

std::string PreviewCacheFile(std::string_view nodePath) {
    std::string name = TextAfterLast(nodePath, "/");
    if (!IsPlainFileName(name)) return {};
    return StorageFolder() + "\\图片\\" + name;
}

std::string FormatSize(double x) {
    constexpr double kTolerance = 0.0000001;
    auto below = [&](double t) { return x - t < -kTolerance; };
    auto above = [&](double t) { return x - t > kTolerance; };
    double value = x;
    const char* unit = "";
    if (below(1024)) {
        unit = "KB";
    } else if (above(1024) && below(1048576)) {
        value = x / 1024;
        unit = "MB";
    } else if (above(1048576) && below(1073741824)) {
        value = x / 1048576;
        unit = "MB";
    } else if (above(1073741824)) {
        value = x / 1073741824;
        unit = "GB";
    }
    return sys::FormatRounded2(value) + " " + unit;
}

}  // namespace core
