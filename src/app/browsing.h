// Wiring of the road from a tab to a filled list: the reply dispatcher as the link's receiver,
// what replies start in the wallpaper parts, and the browsing handlers of the main and detail
// windows.
#pragma once

namespace app {

void InstallBrowsing();

}  // namespace app
