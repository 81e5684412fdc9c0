// The dispatch of every reply from the node: the packet body becomes fields and field 1
// chooses one of six branches; anything else is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/categories.h"

namespace net {

// What a reply starts in the wallpaper parts, which this library cannot see. The application
// sets it once at start-up; an empty entry does nothing.
struct DispatchActions {
    // Refills the category's list and path list from the list reply's paths (joined by
    // "[a]") and preview base address.
    std::function<void(const core::Category& category, const std::string& listText,
                       const std::string& baseUrl)>
        fillList;
    // "&下载" mode "0" (after the download window is shown) and mode "1".
    std::function<void(const std::string& url)> startVisibleDownload;
    std::function<void(const std::string& url)> startSilentDownload;
};
void SetDispatchActions(DispatchActions actions);

// The packet client's receive callback; runs on the library's worker thread and returns when
// the reply has been handled. Message boxes it raises are shown by the notice thread.
void DispatchReply(const uint8_t* data, size_t length);

}  // namespace net
