#include "net/node_id.h"

#include <mutex>

namespace net {

namespace {
std::mutex g_mutex;
std::string g_nodeId;
}  // namespace

std::string NodeId() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_nodeId;
}

void SetNodeId(const std::string& id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_nodeId = id;
}

}  // namespace net
