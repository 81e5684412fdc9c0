// GBK <-> UTF-16 through the system's code page 936 tables.
#include <windows.h>

#include "sys/text_codec.h"

namespace sys {

std::u16string GbkToUtf16(std::string_view gbk) {
    if (gbk.empty()) return {};
    int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()),
                        reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

std::string BmpToGbk(std::u16string_view text) {
    if (text.empty()) return {};
    auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    int n = WideCharToMultiByte(936, 0, wide, static_cast<int>(text.size()), nullptr, 0, "?", nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, wide, static_cast<int>(text.size()), out.data(), n, "?", nullptr);
    return out;
}

}  // namespace sys
