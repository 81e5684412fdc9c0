// The segment table of a transfer: how a file is divided among connections.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

namespace web {

struct DownloadSegment {
    bool assigned = false;
    std::thread::id owner;
    int64_t start = 0;
    int64_t length = 0;
    int64_t done = 0;
    int connection = 0;
    bool complete() const { return done >= length; }
};

// One segment below the block size (or when only one connection may run), else `connections`
// segments of total / connections bytes, the last one also taking the remainder.
std::vector<DownloadSegment> InitialSegments(int64_t total, int connections, bool severalConnections);

// The segment a connection should fetch next: the first one neither assigned nor complete;
// failing that (and when maySplit), the one with the most bytes left is split in two when at
// least twice the block size remains, the old segment keeping the first, larger half and the
// new one appended. Returns its index, -1 when there is nothing to take. The caller marks it.
int ChooseSegment(std::vector<DownloadSegment>& table, bool maySplit);

}  // namespace web
