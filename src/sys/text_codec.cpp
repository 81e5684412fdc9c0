// GBK <-> UTF-16 through glibc's iconv (the native build).
#include "sys/text_codec.h"

#include <errno.h>
#include <iconv.h>

namespace sys {
namespace {

// Converts in one pass, replacing what cannot be converted one input unit at a time.
template <typename Out>
Out Convert(const char* to, const char* from, const char* in, size_t inBytes, size_t unit,
            const Out& replacement) {
    Out out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    using Char = typename Out::value_type;
    char buffer[4096];
    char* src = const_cast<char*>(in);
    while (inBytes > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t r = iconv(cd, &src, &inBytes, &dst, &room);
        out.append(reinterpret_cast<Char*>(buffer), (dst - buffer) / sizeof(Char));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out += replacement;
            size_t skip = std::min(unit, inBytes);
            src += skip;
            inBytes -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
    return Convert<std::u16string>("UTF-16LE", "CP936", gbk.data(), gbk.size(), 1, u"\uFFFD");
}

std::string BmpToGbk(std::u16string_view bmp) {
    return Convert<std::string>("CP936", "UTF-16LE", reinterpret_cast<const char*>(bmp.data()),
                                bmp.size() * sizeof(char16_t), sizeof(char16_t), "?");
}

}  // namespace sys
