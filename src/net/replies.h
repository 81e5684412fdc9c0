// Every reply from the node as data: the packet body becomes fields, field 1 chooses one of
// six records, and the record goes to the one handler that decides what it changes. Anything
// else is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/categories.h"

namespace net {

// "&获取": one page of a category's list.
struct ListPage {
    const core::Category* category = nullptr;  // never null in a delivered record
    std::string total;                         // total pages, as the node wrote it
    std::string page;                          // this page's number, as written
    std::string paths;                         // node paths joined by "[a]"
    int tabPosition = 0;                       // read as an integer (empty reads 0)
    std::string baseUrl;                       // put in front of each path for its preview
};

// "&详细": the detail window's content.
struct Detail {
    std::string path;  // node path of the picture; also the download request's path
    std::string size;
    std::string firstCount, secondCount;
    std::string textLine, textBlock;
    std::string category;
};

// "&下载": a picture to bring to the desktop.
struct DownloadOrder {
    enum class Mode { Visible, Silent };  // flag "0": with the progress window; "1": none
    std::string url;
    Mode mode = Mode::Visible;
};

// "&1": the greeting's answer.
struct Hello {
    std::string nodeName, sponsor, nodeId;  // parts 1, 2 and 4 of its first field
    bool showNotice = false;                // field 3 is "真"
    std::string notice;
};

// "&2": the nodes the server offers, one row of four cells each.
struct NodeList {
    std::vector<std::vector<std::string>> rows;
};

// "&通用": a message for the user.
struct Notice {
    std::string text;
};

// Implemented once, by the program's wiring. Runs on the library's worker thread.
class ReplyHandler {
  public:
    virtual ~ReplyHandler() = default;
    virtual void OnListPage(const ListPage& page) = 0;
    virtual void OnDetail(const Detail& detail) = 0;
    virtual void OnDownloadOrder(const DownloadOrder& order) = 0;
    virtual void OnHello(const Hello& hello) = 0;
    virtual void OnNodeList(const NodeList& list) = 0;
    virtual void OnNotice(const Notice& notice) = 0;
};

// Parses the body and hands its record to the handler; false when it was dropped (unknown
// kind, a list page of no known category, a download with another flag).
bool DispatchReply(ReplyHandler& handler, const uint8_t* data, size_t length);

}  // namespace net
