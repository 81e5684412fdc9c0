#include "web/cookies.h"

#include <vector>

#include "sys/text.h"
#include "web/headers.h"
#include "web/urls.h"

namespace web {
namespace {

constexpr std::string_view kItemSeparator = "; ";

void TrimCookieText(std::string& text) {
    text = sys::Trim(text);
    if (sys::EndsWith(text, ";")) text += ' ';
}

std::string RemoveAllIgnoreCase(std::string_view text, std::string_view what) {
    std::string out;
    int from = 1;
    for (int at; (at = sys::Find(text, what, from, true)) > 0; from = at + static_cast<int>(what.size())) {
        out.append(text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(at - from)));
    }
    out.append(text.substr(static_cast<size_t>(from - 1)));
    return out;
}

// A cookie is sent back later inside a request header; a stray CR or LF from a peer must not
// become a header line of its own there.
bool HasControlBytes(std::string_view text) {
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t') || b == 0x7F) return true;
    }
    return false;
}

}  // namespace

std::string CookieName(std::string_view item) {
    int eq = sys::Find(item, "=");
    return sys::Trim(eq < 0 ? item : item.substr(0, static_cast<size_t>(eq - 1)));
}

std::string RemoveDuplicateItems(std::string_view text, std::string_view separator) {
    std::vector<std::string> kept;
    for (std::string& piece : sys::Split(text, separator)) {
        bool seen = false;
        for (const std::string& k : kept) seen = seen || k == piece;
        if (!seen) kept.push_back(std::move(piece));
    }
    return sys::Join(kept, separator);
}

std::string MergeCookies(std::string& oldCookies, std::string& newCookies) {
    TrimCookieText(oldCookies);
    TrimCookieText(newCookies);
    std::vector<std::string> merged = sys::Split(newCookies, kItemSeparator);
    std::vector<std::string> names;
    for (const std::string& item : merged) names.push_back(CookieName(item));
    for (const std::string& item : sys::Split(oldCookies, kItemSeparator)) {
        std::string name = CookieName(item);
        bool present = false;
        for (const std::string& n : names) present = present || n == name;
        if (present) continue;
        merged.push_back(item);
        names.push_back(std::move(name));
    }
    std::vector<std::string> live;
    for (std::string& item : merged) {
        if (!sys::EndsWith(item, "=deleted")) live.push_back(std::move(item));
    }
    std::string result = RemoveDuplicateItems(sys::Join(live, kItemSeparator), kItemSeparator);
    oldCookies = result;
    return result;
}

std::string ExtractSetCookies(std::string_view headerBlock) {
    std::vector<std::string> cookies;
    for (const std::string& line : sys::Split(headerBlock, "\r\n")) {
        if (HeaderName(line, ": ") != "Set-Cookie") continue;
        std::string cookie = sys::Contains(line, ";") ? sys::Trim(TextBetween(line, "Set-Cookie:", ";"))
                                                      : sys::Trim(RemoveAllIgnoreCase(line, "Set-Cookie:"));
        if (HasControlBytes(cookie)) continue;
        cookies.push_back(std::move(cookie));
    }
    return sys::Join(cookies, kItemSeparator);
}

}  // namespace web
