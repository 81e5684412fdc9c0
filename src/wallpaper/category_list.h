// Filling a category list from a list reply: previews from the cache or the node's web
// server, one image item per path with the "使用" button on it, and the category path list.
#pragma once

#include <string>

#include "core/categories.h"
#include "net/link.h"

namespace wallpaper {

// Previews fetched at once for a page; items still go in in list order. Thirty previews that
// take 100 ms each fill a page in four rounds (about 0.45 s); four at a time took eight.
constexpr int kPreviewFetchers = 8;

// Runs on the receive thread. `listText` is the page's paths joined by "[a]", `baseUrl` is put
// in front of each path to fetch its preview. A path whose last segment is not a plain file
// name gets an item without a picture and nothing is fetched or written; a preview that fails
// or comes back empty is not cached, so the next fill tries it again.
// The items' "使用" buttons send their download requests through `link`.
void FillCategoryList(const core::Category& category, const std::string& listText, const std::string& baseUrl,
                      net::Sender& link);

// The item button's press: the download request for entry item + 1 of the category's path
// list, for the click code only; nothing when the item has no path.
void OnItemButton(net::Sender& link, const core::Category& category, int code, int item);

}  // namespace wallpaper
