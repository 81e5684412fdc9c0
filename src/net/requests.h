// The node protocol's requests: one builder per request, returning the exact GBK bytes (no
// terminating zero), and the operations that build and send them with SendToNode.
//
// A message is fields joined by the six-byte separator "(＆)"; field 1 names it. Some
// requests end with a separator or carry empty fields; those are part of the format.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/link.h"

namespace net {

std::string HelloRequest();                                // "&1(＆)"
std::string RegisterNodeRequest(std::string_view nodeId);  // "&3(＆)" id "(＆)"
std::string NodeListRequest();                             // "&2"
std::string TabChangeRequest(std::string_view category, int tabPosition, std::string_view nodeId);
std::string PagingRequest(std::string_view category, int page, std::string_view nodeId);
std::string FirstPageRequest(std::string_view category, std::string_view nodeId);
std::string DetailRequest(std::string_view category, std::string_view path);
std::string DownloadRequest(std::string_view category, std::string_view path, std::string_view machineId,
                            std::string_view nodeId);
std::string ChangeWallpaperRequest(std::string_view rotationType, std::string_view machineId);
std::string KeepAliveRequest();  // "&4"

// Computes the machine identifier; called right before a request that carries it is built.
using MachineIdSource = std::function<std::string()>;

// The sending operations, through the link. Those that carry the node id read NodeId() at
// the call. The operations that take a 0-based item position return false and send nothing
// when the position is outside the path list (entry n belongs to item n - 1).
void SendHello(Sender& link);
void SendRegisterNode(Sender& link);
void SendNodeListRequest(Sender& link);
void SendTabChangeRequest(Sender& link, std::string_view category, int tabPosition);
void SendPagingRequest(Sender& link, std::string_view category, int page);
void SendFirstPageRequest(Sender& link, std::string_view category);
bool SendDetailRequest(Sender& link, std::string_view category, const std::vector<std::string>& paths,
                       int position);
bool SendListDownloadRequest(Sender& link, std::string_view category, int eventCode, int position,
                             const std::vector<std::string>& paths, const MachineIdSource& machineId);
// The detail window's category and path labels, as the detail reply filled them.
void SendDetailDownloadRequest(Sender& link, std::string_view detailCategory, std::string_view detailPath,
                               const MachineIdSource& machineId);
void SendChangeWallpaperRequest(Sender& link, std::string_view rotationType,
                                const MachineIdSource& machineId);
void SendKeepAlive(Sender& link);

}  // namespace net
