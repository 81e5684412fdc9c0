// nodeId: the node identifier that most requests carry. Empty until the hello reply (or the
// node window) sets it. Safe from any thread.
#pragma once

#include <string>

namespace net {

std::string NodeId();
void SetNodeId(const std::string& id);

}  // namespace net
