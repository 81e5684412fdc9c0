#include "wallpaper/history.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/settings.h"
#include "sys/text.h"
#include "wallpaper/desktop.h"

namespace wallpaper {
namespace {

// Held across each read-change-write of the index.
std::mutex g_mutex;

// The index: the current position on the first line, then one slot number per line, oldest
// first.
struct Index {
    std::vector<int> slots;
    int current = -1;
};

std::string IndexPath(const std::string& folder) { return folder + "\\历史.txt"; }
std::string SlotFile(const std::string& folder, int slot) {
    return folder + "\\" + sys::FromInt(slot) + ".jpg";
}

// Anything that does not read as a sound index is an empty history.
Index ReadIndex(const std::string& folder) {
    Index index;
    std::string text;
    if (!Desktop().ReadWholeFile(IndexPath(folder), &text)) return index;
    std::vector<std::string> lines = sys::Split(text, "\r\n");
    if (lines.size() < 2) return index;
    for (size_t i = 1; i < lines.size() && index.slots.size() < kHistoryLength; ++i) {
        const std::string& line = lines[i];
        if (line.empty()) continue;
        int slot = sys::ToInt(line);
        bool digits = std::all_of(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || slot >= kHistoryLength || std::count(index.slots.begin(), index.slots.end(), slot))
            return {};
        index.slots.push_back(slot);
    }
    int current = sys::ToInt(lines[0]);
    if (index.slots.empty() || current < 0 || current >= static_cast<int>(index.slots.size())) return {};
    index.current = current;
    return index;
}

bool WriteIndex(const std::string& folder, const Index& index) {
    std::string text = sys::FromInt(index.current) + "\r\n";
    for (int slot : index.slots) text += sys::FromInt(slot) + "\r\n";
    return Desktop().WriteWholeFile(IndexPath(folder), text);
}

void EnsureFolder(const std::string& folder) {
    core::SettingsStore& store = core::Store();
    if (!store.DirectoryExists(folder)) store.CreateFolder(folder);
}

}  // namespace

std::string HistoryFolder() { return core::StorageFolder() + "\\壁纸\\历史"; }

bool RecordAppliedPicture(const std::string& pictureFile) {
    std::string picture;
    if (!Desktop().ReadWholeFile(pictureFile, &picture)) return false;
    std::lock_guard lock(g_mutex);
    const std::string folder = HistoryFolder();
    EnsureFolder(folder);
    Index index = ReadIndex(folder);
    std::vector<int> dropped;
    // Forward entries go, as in a browser; then the oldest, to make room.
    if (index.current >= 0) {
        dropped.assign(index.slots.begin() + index.current + 1, index.slots.end());
        index.slots.resize(static_cast<size_t>(index.current) + 1);
    }
    if (index.slots.size() >= kHistoryLength) {
        dropped.push_back(index.slots.front());
        index.slots.erase(index.slots.begin());
    }
    int slot = 0;
    while (std::count(index.slots.begin(), index.slots.end(), slot)) ++slot;
    if (!Desktop().WriteWholeFile(SlotFile(folder, slot), picture)) {
        Desktop().RemoveFile(SlotFile(folder, slot));
        return false;
    }
    index.slots.push_back(slot);
    index.current = static_cast<int>(index.slots.size()) - 1;
    for (int gone : dropped)
        if (gone != slot) Desktop().RemoveFile(SlotFile(folder, gone));
    return WriteIndex(folder, index);
}

bool StepBackInHistory(std::string* pictureFile) {
    std::lock_guard lock(g_mutex);
    const std::string folder = HistoryFolder();
    Index index = ReadIndex(folder);
    if (index.current <= 0) return false;
    --index.current;
    if (!WriteIndex(folder, index)) return false;
    *pictureFile = SlotFile(folder, index.slots[static_cast<size_t>(index.current)]);
    return true;
}

HistoryState ReadHistory() {
    std::lock_guard lock(g_mutex);
    const std::string folder = HistoryFolder();
    Index index = ReadIndex(folder);
    HistoryState state;
    for (int slot : index.slots) state.files.push_back(SlotFile(folder, slot));
    state.current = index.current;
    return state;
}

}  // namespace wallpaper
