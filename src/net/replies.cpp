#include "net/replies.h"

#include "net/reply_text.h"
#include "sys/text.h"

namespace net {
namespace {

// Part `n` (1-based) of the pieces, or the empty text when the sender left it out.
std::string Part(const std::vector<std::string>& parts, size_t n) {
    return n >= 1 && n <= parts.size() ? parts[n - 1] : std::string();
}

}  // namespace

bool DispatchReply(ReplyHandler& handler, const uint8_t* data, size_t length) {
    std::vector<std::string> f = SplitReply(data, length);
    // At least seventeen fields; a lone lead byte at the end can cost one, so pad.
    if (f.size() < 17) f.resize(17);
    const std::string& kind = f[0];
    if (kind == "&获取") {
        const core::Category* category = core::CategoryNamed(f[1]);
        if (!category) return false;
        handler.OnListPage({category, f[2], f[3], f[4], sys::ToInt(f[5]), f[6]});
    } else if (kind == "&详细") {
        handler.OnDetail({f[1], f[2], f[3], f[4], f[5], f[6], f[7]});
    } else if (kind == "&下载") {
        if (f[2] == "0")
            handler.OnDownloadOrder({f[1], DownloadOrder::Mode::Visible});
        else if (f[2] == "1")
            handler.OnDownloadOrder({f[1], DownloadOrder::Mode::Silent});
        else
            return false;
    } else if (kind == "&1") {
        std::vector<std::string> parts = sys::Split(f[1], "[a]");
        handler.OnHello({Part(parts, 1), Part(parts, 2), Part(parts, 4), f[2] == "真", f[3]});
    } else if (kind == "&2") {
        NodeList list;
        for (const std::string& record : sys::Split(f[1], "[q]")) {
            std::vector<std::string> parts = sys::Split(record, "[a]");
            list.rows.push_back({Part(parts, 1), Part(parts, 2), Part(parts, 3), Part(parts, 4)});
        }
        handler.OnNodeList(list);
    } else if (kind == "&通用") {
        handler.OnNotice({f[1]});
    } else {
        return false;
    }
    return true;
}

}  // namespace net
