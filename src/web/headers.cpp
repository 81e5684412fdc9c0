#include "web/headers.h"

#include <vector>

#include "sys/text.h"

namespace web {
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Capitalises the first byte of each piece between "-" characters. Working in place keeps
// every dash, a trailing one included, so a name never loses characters.
std::string CapitalizePieces(std::string_view name) {
    std::string out(name);
    bool pieceStart = true;
    for (size_t i = 0; i < out.size(); i += sys::CharLength(out, i)) {
        if (out[i] == '-') {
            pieceStart = true;
            continue;
        }
        if (pieceStart) out[i] = UpperAscii(out[i]);
        pieceStart = false;
    }
    return out;
}

}  // namespace

std::string HeaderName(std::string_view line, std::string_view separator, bool ignoreCase) {
    int p = sys::Find(line, separator, 1, ignoreCase);
    if (p < 0) return {};
    return std::string(line.substr(0, static_cast<size_t>(p - 1)));
}

std::string CapitalizeFirst(std::string_view text) {
    std::string out(text);
    if (!out.empty()) out[0] = UpperAscii(out[0]);
    return out;
}

std::string NormalizeHeaderNames(std::string_view block) {
    std::vector<std::string> lines;
    for (const std::string& line : sys::Split(block, "\r\n")) {
        int colon = sys::Find(line, ":");
        if (colon < 0) continue;
        size_t nameLength = static_cast<size_t>(colon - 1);
        lines.push_back(CapitalizePieces(std::string_view(line).substr(0, nameLength)) +
                        line.substr(nameLength));
    }
    return sys::Join(lines, "\r\n");
}

}  // namespace web
