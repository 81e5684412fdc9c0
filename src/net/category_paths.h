// The category path lists: per category, the node paths of the page on show, in list order.
//
// The receive thread rebuilds a list while the UI thread reads an entry for a button press or
// an item choice; every access takes the list's lock, so a reader sees the old page, the new
// one, or a position that is not there yet.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// Unknown categories are ignored (nothing stored, nothing found).
void ClearCategoryPaths(std::string_view category);
void AppendCategoryPath(std::string_view category, const std::string& path);
// Entry `position` (0-based, the list item's position); nothing when outside the list.
std::optional<std::string> CategoryPathAt(std::string_view category, int position);
std::vector<std::string> CategoryPaths(std::string_view category);

}  // namespace net
