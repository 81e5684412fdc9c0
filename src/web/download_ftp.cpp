#include "web/download_ftp.h"

namespace web {

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void FtpReplyReader::Feed(const char* data, size_t length) {
    for (size_t i = 0; i < length && !bad_; ++i) {
        char c = data[i];
        if (c == '\n') {
            if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
            TakeLine(std::move(partial_));
            partial_.clear();
        } else {
            partial_.push_back(c);
            if (partial_.size() > kLineLimit) bad_ = true;
        }
    }
}

void FtpReplyReader::TakeLine(std::string line) {
    bool coded = line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
    int code = coded ? (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0') : 0;
    char mark = line.size() > 3 ? line[3] : ' ';
    if (openCode_ != 0) {
        if (!openText_.empty()) openText_ += "\n";
        openText_ += line;
        if (coded && code == openCode_ && mark == ' ') {
            replies_.push_back({openCode_, std::move(openText_)});
            openText_.clear();
            openCode_ = 0;
        }
        return;
    }
    if (!coded || code < 100) {
        bad_ = true;
        return;
    }
    if (mark == '-') {
        openCode_ = code;
        openText_ = line;
        return;
    }
    replies_.push_back({code, std::move(line)});
}

FtpReplyReader::Reply FtpReplyReader::Next() {
    Reply r = std::move(replies_.front());
    replies_.erase(replies_.begin());
    return r;
}

bool ParsePassiveReply(std::string_view text, uint32_t* address, uint16_t* port) {
    size_t open = text.find('(');
    size_t i = open == std::string_view::npos ? 4 : open + 1;
    // Some servers leave out the parentheses: take the first run of six numbers.
    while (open == std::string_view::npos && i < text.size() && !IsDigit(text[i])) ++i;
    int values[6];
    for (int n = 0; n < 6; ++n) {
        if (i >= text.size() || !IsDigit(text[i])) return false;
        int v = 0;
        int digits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            v = v * 10 + (text[i++] - '0');
            if (++digits > 3) return false;
        }
        if (v > 255) return false;
        values[n] = v;
        if (n < 5) {
            if (i >= text.size() || text[i] != ',') return false;
            ++i;
        }
    }
    unsigned char bytes[4] = {static_cast<unsigned char>(values[0]), static_cast<unsigned char>(values[1]),
                              static_cast<unsigned char>(values[2]), static_cast<unsigned char>(values[3])};
    uint32_t a = 0;
    for (int n = 0; n < 4; ++n) reinterpret_cast<unsigned char*>(&a)[n] = bytes[n];
    *address = a;
    *port = static_cast<uint16_t>(values[4] * 256 + values[5]);
    return *port != 0;
}

std::string FormatPortCommand(uint32_t address, uint16_t port) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
    return "PORT " + std::to_string(b[0]) + "," + std::to_string(b[1]) + "," + std::to_string(b[2]) + "," +
           std::to_string(b[3]) + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

static int64_t DigitsAt(std::string_view text, size_t i, size_t* end) {
    int64_t v = 0;
    size_t start = i;
    while (i < text.size() && IsDigit(text[i]) && i - start < 18) v = v * 10 + (text[i++] - '0');
    *end = i;
    return i == start ? -1 : v;
}

int64_t FtpStatedSize(int code, std::string_view text) {
    size_t end = 0;
    if (code == 213) {
        size_t i = 3;
        while (i < text.size() && text[i] == ' ') ++i;
        int64_t v = DigitsAt(text, i, &end);
        return end == text.size() || (end < text.size() && (text[end] == '\r' || text[end] == '\n')) ? v : -1;
    }
    if (code == 150 || code == 125) {
        size_t open = text.rfind('(');
        if (open == std::string_view::npos) return -1;
        int64_t v = DigitsAt(text, open + 1, &end);
        if (v >= 0 && text.substr(end, 6) == " bytes") return v;
    }
    return -1;
}

}  // namespace web
