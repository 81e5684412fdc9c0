// The pictures the program applied, for "上一张壁纸": the last 20, each a file under
// <storage>\壁纸\历史\ beside a small index, so going back works without the network and
// after a restart.
//
// The files are named by slot ("0.jpg" to "19.jpg"): a lost or damaged index can cost the
// history, but never leave more than 20 pictures in the folder. Safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace wallpaper {

inline constexpr int kHistoryLength = 20;

// <storage>\壁纸\历史 of the storage folder of the moment, without the closing backslash.
std::string HistoryFolder();

// The picture file was just applied: a copy becomes the newest entry. Entries after the
// current one (left by going back) are dropped first, as a browser's history does; past 20
// the oldest goes. False when the copy could not be written (the history is unchanged).
bool RecordAppliedPicture(const std::string& pictureFile);

// The entry before the current one, which becomes current; false at the oldest entry or
// with no history. The file stays in the history.
bool StepBackInHistory(std::string* pictureFile);

// The files of the entries, oldest first, and the position of the current one (-1 when there
// is none).
struct HistoryState {
    std::vector<std::string> files;
    int current = -1;
};
HistoryState ReadHistory();

}  // namespace wallpaper
