// The pack framing shared by the client library, the node and the test peers.
//
// Each packet is a 4-byte little-endian header word (flag << 22) | body_length, then the body.
// The decoder takes bytes as they arrive (a header split across reads, many packets in one
// read) and reports whole bodies in order; a header with another flag, or a length above the
// maximum, is a protocol error after which the connection must be closed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace pack {

constexpr uint32_t kDefaultFlag = 1023;         // 0x3FF
constexpr uint32_t kLengthMask = 0x3FFFFF;      // 22 bits
constexpr uint32_t kDefaultMaxBody = 0x3FFFFF;  // 4,194,303 bytes
constexpr size_t kHeaderSize = 4;

inline uint32_t MakeHeader(uint32_t flag, uint32_t length) { return (flag << 22) | (length & kLengthMask); }

inline void PutHeader(uint8_t out[kHeaderSize], uint32_t flag, uint32_t length) {
    uint32_t h = MakeHeader(flag, length);
    out[0] = static_cast<uint8_t>(h);
    out[1] = static_cast<uint8_t>(h >> 8);
    out[2] = static_cast<uint8_t>(h >> 16);
    out[3] = static_cast<uint8_t>(h >> 24);
}

// Header and body as one buffer, ready for one send. The caller checks the size limit.
inline std::string Encode(std::string_view body, uint32_t flag = kDefaultFlag) {
    std::string out(kHeaderSize + body.size(), '\0');
    PutHeader(reinterpret_cast<uint8_t*>(out.data()), flag, static_cast<uint32_t>(body.size()));
    if (!body.empty()) std::memcpy(out.data() + kHeaderSize, body.data(), body.size());
    return out;
}

class Decoder {
  public:
    // The body is valid only during the call.
    using Sink = std::function<void(const uint8_t* body, size_t length)>;

    explicit Decoder(uint32_t flag = kDefaultFlag, uint32_t maxBody = kDefaultMaxBody)
        : flag_(flag & 0x3FF), maxBody_(maxBody > kLengthMask ? kLengthMask : maxBody) {}

    // Feeds received bytes; calls sink once per complete body, in order. Returns false on a
    // protocol error (wrong flag, body too long); the decoder then stays failed.
    bool Feed(const uint8_t* data, size_t length, const Sink& sink) {
        if (failed_) return false;
        while (length > 0) {
            if (headerHave_ < kHeaderSize) {
                size_t take = std::min(kHeaderSize - headerHave_, length);
                std::memcpy(header_ + headerHave_, data, take);
                headerHave_ += take;
                data += take;
                length -= take;
                if (headerHave_ < kHeaderSize) break;
                uint32_t h = static_cast<uint32_t>(header_[0]) | static_cast<uint32_t>(header_[1]) << 8 |
                             static_cast<uint32_t>(header_[2]) << 16 |
                             static_cast<uint32_t>(header_[3]) << 24;
                uint32_t bodyLength = h & kLengthMask;
                if ((h >> 22) != flag_ || bodyLength > maxBody_) {
                    failed_ = true;
                    return false;
                }
                need_ = bodyLength;
                body_.clear();
                if (need_ == 0) {
                    Deliver(nullptr, 0, sink);
                    continue;
                }
            }
            // Whole bodies straight from the read buffer; partial ones are gathered.
            if (body_.empty() && length >= need_) {
                const uint8_t* start = data;
                data += need_;
                length -= need_;
                Deliver(start, need_, sink);
                continue;
            }
            if (body_.empty()) body_.reserve(need_);
            size_t take = std::min(need_ - body_.size(), length);
            body_.append(reinterpret_cast<const char*>(data), take);
            data += take;
            length -= take;
            if (body_.size() == need_) {
                std::string body;
                body.swap(body_);
                Deliver(reinterpret_cast<const uint8_t*>(body.data()), body.size(), sink);
            }
        }
        return true;
    }

    bool failed() const { return failed_; }
    // True when no packet is half received.
    bool idle() const { return headerHave_ == 0; }

  private:
    void Deliver(const uint8_t* body, size_t length, const Sink& sink) {
        headerHave_ = 0;
        need_ = 0;
        static const uint8_t kEmpty = 0;
        sink(body ? body : &kEmpty, length);
    }

    uint32_t flag_;
    uint32_t maxBody_;
    uint8_t header_[kHeaderSize] = {};
    size_t headerHave_ = 0;
    size_t need_ = 0;
    std::string body_;
    bool failed_ = false;
};

}  // namespace pack
