// Test side of the node: a tiny picture collection made with libvips, a node started on free
// ports, and small pack and HTTP clients over real sockets. Every wait is bounded.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "node.h"
#include "pack_frame.h"

namespace nodetest {

extern const char kSep[];  // "(＆)"

// A fresh folder under the build tree, removed with the object.
class TempDir {
  public:
    explicit TempDir(const std::string& tag);
    ~TempDir();
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Writes a noise picture; the format follows the extension (.jpg, .png, .webp).
void WritePicture(const std::string& path, int width, int height, int bands = 3);

// The shared test collection (made once per process):
//   K风景  20 pictures 64x40 named p00.jpg .. p19.jpg
//   4K风景 2 pictures 3840x48 (wide enough for the 4K view)
//   K动物  a.png with alpha, b.webp
//   K美女  one picture with a title/description file holding separators
//   K汽车  a broken .jpg and a .txt: no pictures
// The other categories have no folder.
const std::string& CatalogueDir();

node::Config TestConfig(const std::string& cacheDir);

// A started node, stopped on destruction.
class RunningNode {
  public:
    explicit RunningNode(node::Config config, std::string adminToken = {});
    ~RunningNode();
    node::Node& operator*() { return *node_; }
    node::Node* operator->() { return node_.get(); }
    int packPort() const { return node_->packPort(); }
    int httpPort() const { return node_->httpPort(); }
    int adminPort() const { return node_->adminPort(); }

  private:
    std::unique_ptr<node::Node> node_;
};

// A blocking TCP connection to 127.0.0.1:port from the loopback address `source`, with 10 s
// receive and send time-outs; -1 when it cannot be made.
int ConnectFrom(const std::string& source, int port);

// A pack client over a blocking socket with receive and send time-outs.
class PackClient {
  public:
    explicit PackClient(int port, const std::string& source = "127.0.0.1");
    ~PackClient();
    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool Send(const std::string& body);
    bool SendRaw(const std::string& bytes);
    // The next reply body, or nothing when the connection closed or 10 s passed.
    std::optional<std::string> Receive();
    // Sends body, returns the reply split on the separator like the client reads it.
    std::vector<std::string> Ask(const std::string& body);
    // True when the node closes the connection within 10 s (pending replies are skipped).
    bool WaitClosed();

  private:
    int fd_ = -1;
    pack::Decoder decoder_;
    std::vector<std::string> ready_;
    bool closed_ = false;
};

// Fields the way the client reads a reply: empty pieces kept, a missing field reads empty.
std::vector<std::string> Fields(const std::string& reply);
std::string FieldOf(const std::vector<std::string>& f, size_t n);

struct HttpReply {
    int status = 0;
    std::string head;  // status line and headers as sent
    std::string body;
    std::string Header(const std::string& name) const;  // exact-case lookup, empty when absent
};
// One request with "Connection: close"; the whole answer read until the peer closes.
HttpReply HttpGet(int port, const std::string& path, const std::string& extraHeaders = {},
                  const std::string& method = "GET", const std::string& body = {});

// Width and height of a picture in memory.
bool PictureSize(const std::string& bytes, int& width, int& height);

std::string ReadFile(const std::string& path);

}  // namespace nodetest
