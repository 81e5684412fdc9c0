#include "http_recorder.h"

#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socklen_t = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace webtest {
namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr size_t kMaxBody = 16 * 1024 * 1024;

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
void SetReceiveTimeout(Socket s, int ms) {
    DWORD t = static_cast<DWORD>(ms);
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&t), sizeof t);
}
struct WinsockOwner {
    WinsockOwner() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockOwner() { WSACleanup(); }
};
void EnsureSockets() { static WinsockOwner owner; }
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) { close(s); }
void SetReceiveTimeout(Socket s, int ms) {
    timeval t{ms / 1000, (ms % 1000) * 1000};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
}
void EnsureSockets() {}
#endif

Socket ToSocket(intptr_t s) { return static_cast<Socket>(s); }

Socket BindLoopback(int* port) {
    EnsureSockets();
    Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) return kNoSocket;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        CloseSocket(s);
        return kNoSocket;
    }
    *port = ntohs(addr.sin_port);
    return s;
}

bool SendAll(Socket s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) return false;
    }
    return true;
}

std::string TrimSpaces(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

std::vector<std::string> RecordedRequest::Values(const std::string& name) const {
    std::vector<std::string> out;
    for (const std::string& line : headerLines) {
        size_t colon = line.find(':');
        if (colon != std::string::npos && SameName(line.substr(0, colon), name)) {
            out.push_back(TrimSpaces(line.substr(colon + 1)));
        }
    }
    return out;
}

std::string RecordedRequest::Value(const std::string& name) const {
    std::vector<std::string> v = Values(name);
    if (v.empty()) return "<missing>";
    if (v.size() > 1) return "<" + std::to_string(v.size()) + " times>";
    return v[0];
}

std::string RecordedRequest::Path() const {
    size_t a = requestLine.find(' ');
    size_t b = requestLine.rfind(' ');
    if (a == std::string::npos || b <= a) return {};
    return requestLine.substr(a + 1, b - a - 1);
}

HttpRecorder::HttpRecorder(Responder responder) : responder_(std::move(responder)) {
    Socket s = BindLoopback(&port_);
    if (s == kNoSocket || listen(s, 16) != 0) {
        if (s != kNoSocket) CloseSocket(s);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    listener_ = static_cast<intptr_t>(s);
    thread_ = std::thread([this] { Serve(); });
}

HttpRecorder::~HttpRecorder() {
    stop_ = true;
    thread_.join();
    CloseSocket(ToSocket(listener_));
}

std::string HttpRecorder::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RecordedRequest> HttpRecorder::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string HttpRecorder::Response(int status, const std::string& reason, const std::string& body,
                                   const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders +
           "Connection: close\r\n\r\n" + body;
}

int HttpRecorder::UnusedPort() {
    int port = 0;
    Socket s = BindLoopback(&port);
    if (s != kNoSocket) CloseSocket(s);
    return port;
}

void HttpRecorder::Serve() {
    Socket listener = ToSocket(listener_);
    while (!stop_) {
        // Short waits keep the destructor prompt.
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener, &ready);
        timeval wait{0, 50 * 1000};
        if (select(static_cast<int>(listener) + 1, &ready, nullptr, nullptr, &wait) <= 0) continue;
        Socket client = accept(listener, nullptr, nullptr);
        if (client == kNoSocket) continue;
        HandleConnection(static_cast<intptr_t>(client));
        CloseSocket(client);
    }
}

void HttpRecorder::HandleConnection(intptr_t socketValue) {
    Socket s = ToSocket(socketValue);
    SetReceiveTimeout(s, 5000);
    std::string data;
    char buffer[4096];
    size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        if (data.size() > kMaxHead) return;
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        data.append(buffer, static_cast<size_t>(n));
        if (static_cast<unsigned char>(data[0]) == 0x16) {  // TLS record type "handshake"
            RecordedRequest hello;
            hello.tls = true;
            hello.body = data;
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(std::move(hello));
            return;
        }
    }

    RecordedRequest request;
    size_t lineStart = 0;
    bool first = true;
    while (lineStart < headEnd) {
        size_t lineEnd = data.find("\r\n", lineStart);
        std::string line = data.substr(lineStart, lineEnd - lineStart);
        if (first) {
            request.requestLine = line;
        } else {
            request.headerLines.push_back(line);
        }
        first = false;
        lineStart = lineEnd + 2;
    }
    size_t length = 0;
    std::vector<std::string> lengths = request.Values("Content-Length");
    if (!lengths.empty()) length = std::strtoul(lengths[0].c_str(), nullptr, 10);
    if (length > kMaxBody) return;
    request.body = data.substr(headEnd + 4);
    while (request.body.size() < length) {
        int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.body.append(buffer, static_cast<size_t>(n));
    }
    request.body.resize(std::min(request.body.size(), length));

    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    SendAll(s, responder_(request));
#ifdef _WIN32
    shutdown(s, SD_SEND);
#else
    shutdown(s, SHUT_WR);
#endif
    // Read until the client closes: closing with unread bytes would reset the connection and
    // could destroy the answer before the client has read it.
    SetReceiveTimeout(s, 2000);
    while (recv(s, buffer, sizeof buffer, 0) > 0) {
    }
}

}  // namespace webtest
