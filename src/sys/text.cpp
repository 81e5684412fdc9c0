#include "sys/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "sys/text_codec.h"

namespace sys {
namespace {

unsigned char Byte(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares `what` with text at byte index i, character by character: single bytes fold when
// asked, double-byte characters compare exactly. The match must end on a boundary of text.
bool MatchesAt(std::string_view text, size_t i, std::string_view what, bool ignoreCase) {
    if (what.size() > text.size() - i) return false;
    size_t j = 0;
    while (j < what.size()) {
        size_t len = CharLength(what, j);
        if (len == 2) {
            if (text[i + j] != what[j] || text[i + j + 1] != what[j + 1]) return false;
        } else {
            char a = text[i + j], b = what[j];
            if (ignoreCase ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
        }
        j += len;
    }
    // A match ending inside a character of text (what ends in a lone lead byte) is no match.
    size_t end = i + j;
    size_t k = i;
    while (k < end) k += CharLength(text, k);
    return k == end;
}

}  // namespace

size_t CharLength(std::string_view text, size_t i) {
    return (IsLeadByte(Byte(text, i)) && i + 1 < text.size()) ? 2 : 1;
}

int Find(std::string_view text, std::string_view what, int start, bool ignoreCase) {
    if (what.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return -1;
    size_t from = start < 1 ? 0 : static_cast<size_t>(start - 1);
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        if (i >= from && MatchesAt(text, i, what, ignoreCase)) return static_cast<int>(i + 1);
    }
    return -1;
}

int FindLast(std::string_view text, std::string_view what, bool ignoreCase) {
    if (what.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return -1;
    int found = -1;
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        if (MatchesAt(text, i, what, ignoreCase)) found = static_cast<int>(i + 1);
    }
    return found;
}

bool Contains(std::string_view text, std::string_view what, bool ignoreCase) {
    return Find(text, what, 1, ignoreCase) > 0;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    if (suffix.size() > text.size()) return false;
    size_t at = text.size() - suffix.size();
    if (text.substr(at) != suffix) return false;
    // The suffix must start on a character boundary.
    size_t i = 0;
    while (i < at) i += CharLength(text, i);
    return i == at;
}

namespace {
std::string MapAscii(std::string_view text, char lo, char hi, int delta) {
    std::string out(text);
    for (size_t i = 0; i < out.size();) {
        size_t len = CharLength(out, i);
        if (len == 1 && out[i] >= lo && out[i] <= hi) out[i] = static_cast<char>(out[i] + delta);
        i += len;
    }
    return out;
}
}  // namespace

std::string ToLowerAscii(std::string_view text) { return MapAscii(text, 'A', 'Z', 'a' - 'A'); }
std::string ToUpperAscii(std::string_view text) { return MapAscii(text, 'a', 'z', 'A' - 'a'); }

std::string Trim(std::string_view text) {
    constexpr std::string_view kFullWidthSpace = "\xA1\xA1";
    size_t begin = 0;
    for (;;) {
        if (begin < text.size() && text[begin] == ' ') {
            ++begin;
        } else if (text.substr(begin, 2) == kFullWidthSpace) {
            begin += 2;
        } else {
            break;
        }
    }
    // The end is walked by characters so a trail byte A1 of another character is never cut.
    size_t end = begin, keep = begin;
    while (end < text.size()) {
        size_t len = CharLength(text, end);
        std::string_view ch = text.substr(end, len);
        end += len;
        if (ch != " " && ch != kFullWidthSpace) keep = end;
    }
    return std::string(text.substr(begin, keep - begin));
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    size_t pieceStart = 0;
    for (size_t i = 0; i < text.size();) {
        if (MatchesAt(text, i, separator, false)) {
            pieces.emplace_back(text.substr(pieceStart, i - pieceStart));
            i += separator.size();
            pieceStart = i;
        } else {
            i += CharLength(text, i);
        }
    }
    if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
    return pieces;
}

std::string Join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i) out += separator;
        out += pieces[i];
    }
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (MatchesAt(text, i, from, false)) {
            out += to;
            i += from.size();
        } else {
            size_t len = CharLength(text, i);
            out += text.substr(i, len);
            i += len;
        }
    }
    return out;
}

int ToInt(std::string_view text, bool fullWidthDigits) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    while (i < text.size()) {
        int digit;
        if (text[i] >= '0' && text[i] <= '9') {
            digit = text[i] - '0';
            i += 1;
        } else if (fullWidthDigits && i + 1 < text.size() && Byte(text, i) == 0xA3 &&
                   Byte(text, i + 1) >= 0xB0 && Byte(text, i + 1) <= 0xB9) {
            digit = Byte(text, i + 1) - 0xB0;
            i += 2;
        } else {
            break;
        }
        value = value * 10 + digit;
        if (value > kLimit) value = kLimit;
    }
    if (negative) return static_cast<int>(-value);
    return static_cast<int>(value >= kLimit ? kLimit - 1 : value);
}

std::string FromInt(long long value) { return std::to_string(value); }

std::string FormatRounded2(double value) {
    if (!std::isfinite(value)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.13g", value);
        return buf;
    }
    // 15 significant digits are what a double holds faithfully; round that decimal text.
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.14e", std::fabs(value));
    // digits: d.dddddddddddddde±XX
    std::string mantissa;
    mantissa += digits[0];
    mantissa.append(digits + 2, 14);
    int exponent = std::atoi(digits + 17);
    // value = 0.mantissa × 10^(exponent+1); keep the digits down to 10^-2.
    int keep = exponent + 1 + 2;  // digits before the cut
    double rounded;
    if (keep < 0) {
        rounded = 0;
    } else {
        std::string kept = mantissa.substr(0, std::min<size_t>(keep, mantissa.size()));
        while (static_cast<int>(kept.size()) < keep) kept += '0';
        bool up = keep < static_cast<int>(mantissa.size()) && mantissa[keep] >= '5';
        long double n = kept.empty() ? 0 : std::strtold(kept.c_str(), nullptr);
        if (up) n += 1;
        rounded = static_cast<double>(n / 100.0L);
    }
    if (value < 0) rounded = -rounded;
    if (rounded == 0) rounded = 0;  // no "-0"
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.13g", rounded);
    return buf;
}

namespace {
void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = Byte(s, i);
        char32_t c;
        size_t len;
        if (b < 0x80) {
            c = b, len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F, len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F, len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07, len = 4;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (i + len > s.size()) {
            out += u'\uFFFD';
            break;
        }
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            if ((Byte(s, i + k) & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (Byte(s, i + k) & 0x3F);
        }
        if (!ok || c > 0x10FFFF) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}
}  // namespace

std::string Utf16ToGbk(std::u16string_view text) {
    // Code page 936 has nothing outside the BMP: a surrogate pair is one unknown character.
    std::u16string bmp;
    bmp.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
            c = u'?';
        }
        bmp += c;
    }
    return BmpToGbk(bmp);
}

std::string GbkToUtf8(std::string_view gbk) { return Utf16ToUtf8(GbkToUtf16(gbk)); }
std::string Utf8ToGbk(std::string_view utf8) { return Utf16ToGbk(Utf8ToUtf16(utf8)); }

}  // namespace sys
