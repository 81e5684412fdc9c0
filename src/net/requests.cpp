#include "net/requests.h"

#include <initializer_list>

#include "net/link.h"
#include "net/node_id.h"
#include "sys/text.h"
#include "ui/engine.h"

namespace net {

namespace {

std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view p : pieces) out.append(p);
    return out;
}

constexpr std::string_view kSep = "(＆)";
constexpr std::string_view kSortKey = "下载最多";

// The path of item `position` (0-based), or nothing when the list has no such entry.
const std::string* PathAt(const std::vector<std::string>& paths, int position) {
    if (position < 0 || static_cast<size_t>(position) >= paths.size()) return nullptr;
    return &paths[static_cast<size_t>(position)];
}

}  // namespace

std::string HelloRequest() { return Join({"&1", kSep}); }

std::string RegisterNodeRequest(std::string_view nodeId) { return Join({"&3", kSep, nodeId, kSep}); }

std::string NodeListRequest() { return "&2"; }

std::string TabChangeRequest(std::string_view category, int tabPosition, std::string_view nodeId) {
    std::string position = sys::FromInt(tabPosition);
    return Join({"&获取", kSep, category, kSep, kSortKey, kSep, "1", kSep, position, kSep, nodeId});
}

std::string PagingRequest(std::string_view category, int page, std::string_view nodeId) {
    std::string number = sys::FromInt(page);
    return Join({"&获取", kSep, category, kSep, kSortKey, kSep, number, kSep, kSep, nodeId, kSep});
}

std::string FirstPageRequest(std::string_view category, std::string_view nodeId) {
    return Join({"&获取", kSep, category, kSep, kSortKey, kSep, "1", kSep, kSep, nodeId, kSep});
}

std::string DetailRequest(std::string_view category, std::string_view path) {
    return Join({"&详细", kSep, category, kSep, path});
}

std::string DownloadRequest(std::string_view category, std::string_view path, std::string_view machineId,
                            std::string_view nodeId) {
    // Field 5 has always been empty: nothing ever fills it.
    return Join({"&下载", kSep, category, kSep, path, kSep, machineId, kSep, kSep, nodeId});
}

std::string ChangeWallpaperRequest(std::string_view rotationType, std::string_view machineId) {
    return Join({"&更换", kSep, rotationType, kSep, machineId, kSep});
}

std::string KeepAliveRequest() { return "&4"; }

void SendHello(Sender& link) { link.Send(HelloRequest()); }

void SendRegisterNode(Sender& link) { link.Send(RegisterNodeRequest(NodeId())); }

void SendNodeListRequest(Sender& link) { link.Send(NodeListRequest()); }

void SendTabChangeRequest(Sender& link, std::string_view category, int tabPosition) {
    link.Send(TabChangeRequest(category, tabPosition, NodeId()));
}

void SendPagingRequest(Sender& link, std::string_view category, int page) {
    link.Send(PagingRequest(category, page, NodeId()));
}

void SendFirstPageRequest(Sender& link, std::string_view category) {
    link.Send(FirstPageRequest(category, NodeId()));
}

bool SendDetailRequest(Sender& link, std::string_view category, const std::vector<std::string>& paths,
                       int position) {
    const std::string* path = PathAt(paths, position);
    if (!path) return false;
    link.Send(DetailRequest(category, *path));
    return true;
}

bool SendListDownloadRequest(Sender& link, std::string_view category, int eventCode, int position,
                             const std::vector<std::string>& paths, const MachineIdSource& machineId) {
    if (eventCode != ui::kElemClickCode) return false;
    const std::string* path = PathAt(paths, position);
    if (!path) return false;
    std::string id = machineId ? machineId() : std::string();
    link.Send(DownloadRequest(category, *path, id, NodeId()));
    return true;
}

void SendDetailDownloadRequest(Sender& link, std::string_view detailCategory, std::string_view detailPath,
                               const MachineIdSource& machineId) {
    std::string id = machineId ? machineId() : std::string();
    link.Send(DownloadRequest(detailCategory, detailPath, id, NodeId()));
}

void SendChangeWallpaperRequest(Sender& link, std::string_view rotationType,
                                const MachineIdSource& machineId) {
    std::string id = machineId ? machineId() : std::string();
    link.Send(ChangeWallpaperRequest(rotationType, id));
}

void SendKeepAlive(Sender& link) { link.Send(KeepAliveRequest()); }

}  // namespace net
