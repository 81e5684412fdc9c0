// The detail window of one picture, as the node's detail reply describes it.
#pragma once

#include "net/replies.h"

namespace wallpaper {

// Shows the window (when hidden) with the picture, from the preview cache or fetched from
// the node id + path and kept there, and the reply's texts. Runs on the receive thread.
void ShowDetail(const net::Detail& detail);

}  // namespace wallpaper
