// What a caller of the download engine hears, without the engine's numbered events: the total
// size once it is known, and the end with what was written.
#pragma once

#include <cstdint>
#include <string>

#include "web/download_engine.h"

namespace web {

struct DownloadResult {
    std::string file;       // the file really written (the engine may have renamed it)
    int64_t bytes = 0;      // bytes received
    bool complete = false;  // every byte of the file arrived and reached the disk
};

// Both calls come from the engine's threads: TotalKnown from a connection thread, Finished
// last, from the transfer thread, before the slot is free again.
class DownloadObserver {
  public:
    virtual ~DownloadObserver() = default;
    virtual void TotalKnown(int64_t total) = 0;
    virtual void Finished(const DownloadResult& result) = 0;
};

// The event callback of a settings record that reports to `observer`, which must outlive the
// transfer.
DownloadEventCallback EventsFor(DownloadObserver& observer);

}  // namespace web
