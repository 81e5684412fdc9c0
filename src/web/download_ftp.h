// The FTP side of the download engine: reading replies on the control connection and the
// passive-mode address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace web {

// Splits the control stream into replies. A reply is one line "ddd text" or a multi-line block
// from "ddd-" to the line that starts "ddd ". Lines longer than the limit make the stream bad.
class FtpReplyReader {
  public:
    static constexpr size_t kLineLimit = 4096;

    struct Reply {
        int code = 0;
        std::string text;  // every line of the reply, joined by "\n"
    };

    // Takes received bytes; complete replies are queued for Next.
    void Feed(const char* data, size_t length);
    bool HasReply() const { return !replies_.empty(); }
    Reply Next();
    bool bad() const { return bad_; }

  private:
    void TakeLine(std::string line);
    std::string partial_;
    int openCode_ = 0;  // code of an unfinished multi-line reply
    std::string openText_;
    std::vector<Reply> replies_;
    bool bad_ = false;
};

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the address (network byte order) and port.
[[nodiscard]] bool ParsePassiveReply(std::string_view text, uint32_t* address, uint16_t* port);

// "PORT h1,h2,h3,h4,p1,p2" for an address in network byte order.
std::string FormatPortCommand(uint32_t address, uint16_t port);

// The size a server states in a "213 <size>" reply or in "(<size> bytes)" of a 150 reply; -1.
int64_t FtpStatedSize(int code, std::string_view text);

}  // namespace web
