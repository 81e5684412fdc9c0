#include "web/download_segments.h"

#include "web/download_engine.h"

namespace web {

std::vector<DownloadSegment> InitialSegments(int64_t total, int connections, bool severalConnections) {
    int count = total < kBlockSize || !severalConnections || connections < 1 ? 1 : connections;
    std::vector<DownloadSegment> table(static_cast<size_t>(count));
    int64_t each = total / count;
    for (int i = 0; i < count; ++i) {
        table[i].start = each * i;
        table[i].length = i == count - 1 ? total - table[i].start : each;
    }
    return table;
}

int ChooseSegment(std::vector<DownloadSegment>& table, bool maySplit) {
    for (size_t i = 0; i < table.size(); ++i)
        if (!table[i].assigned && !table[i].complete()) return static_cast<int>(i);
    if (!maySplit) return -1;
    int best = -1;
    int64_t bestLeft = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        int64_t left = table[i].length - table[i].done;
        if (left > bestLeft) best = static_cast<int>(i), bestLeft = left;
    }
    if (best < 0 || bestLeft < 2 * kBlockSize) return -1;
    DownloadSegment& old = table[best];
    int64_t keep = (bestLeft + 1) / 2;
    DownloadSegment split;
    split.start = old.start + old.done + keep;
    split.length = bestLeft - keep;
    old.length = old.done + keep;
    table.push_back(split);
    return static_cast<int>(table.size() - 1);
}

}  // namespace web
