// A small HTTP/1.1 server on 127.0.0.1 for tests: records each request line, header line and
// body exactly as received, and answers with whatever the test's responder returns.
//
// One connection at a time, one request per connection; every answer is followed by a close.
// A connection that opens with a TLS handshake is recorded as such and closed unanswered.
// Works over Winsock and POSIX sockets. Reads are bounded by a receive time-out, so a client
// that stalls never holds the server (or the test) for long.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace webtest {

struct RecordedRequest {
    std::string requestLine;               // "GET /x HTTP/1.1"
    std::vector<std::string> headerLines;  // as received, without their "\r\n"
    std::string body;                      // Content-Length bytes after the head
    bool tls = false;                      // the client opened with a TLS handshake (body holds it)

    // Values of every header line whose name equals `name` (ASCII case folded), trimmed.
    std::vector<std::string> Values(const std::string& name) const;
    // The single value of `name`; "<missing>" or "<N times>" otherwise.
    std::string Value(const std::string& name) const;
    std::string Path() const;  // the request target
};

class HttpRecorder {
  public:
    // Returns the whole raw response (status line, headers, body).
    using Responder = std::function<std::string(const RecordedRequest&)>;

    explicit HttpRecorder(Responder responder);
    ~HttpRecorder();
    HttpRecorder(const HttpRecorder&) = delete;
    HttpRecorder& operator=(const HttpRecorder&) = delete;

    int port() const { return port_; }
    std::string Url(const std::string& path) const;
    std::vector<RecordedRequest> Requests() const;

    // A complete response with Content-Length and "Connection: close"; extraHeaders are
    // whole lines each ended by "\r\n".
    static std::string Response(int status, const std::string& reason, const std::string& body,
                                const std::string& extraHeaders = {});

    // A port on 127.0.0.1 that nothing listens on (bound and released at once).
    static int UnusedPort();

  private:
    void Serve();
    void HandleConnection(intptr_t socket);

    Responder responder_;
    intptr_t listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::thread thread_;
};

}  // namespace webtest
