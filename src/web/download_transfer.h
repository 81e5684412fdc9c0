// Inside the download engine: the state of one running transfer, shared by its transfer thread
// and its connection threads. Not for use outside src/web/download_*.cpp.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "socket_compat.h"
#include "thread_name.h"
#include "web/download_engine.h"
#include "web/download_segments.h"
#include "web/download_url.h"
#include "web/output_file.h"

namespace web {

// One connection thread and the sockets it has open (so a stop can wake it).
struct DownloadConnection {
    int id = 0;
    bool first = false;
    bool tookOver = false;  // reports with event 7 from its second segment on
    // Started for a range another connection left: it waits the retry pause first, and its
    // retries go on from that connection's count.
    bool replacement = false;
    int segment = -1;
    int retries = 0;
    std::thread thread;
    std::atomic<bool> finished{false};

    std::mutex socketMutex;
    sockcompat::Socket control;
    sockcompat::Socket data;

    // Replaces one of the two sockets under the lock, so a stop never shuts down a handle that
    // has been closed and reused.
    void Set(sockcompat::Socket& which, sockcompat::Socket&& replacement);
    void CloseAll();
    void Wake();
};

enum class Attempt { kComplete, kRetry, kGiveUp, kEndTransfer };

class DownloadTransfer {
  public:
    DownloadTransfer(DownloadSlot* slot, const DownloadSettings& settings, const DownloadUrl& url);

    // The transfer thread: the job loop, then event 4 and the slot's release.
    void Run(std::shared_ptr<DownloadTransfer> self);
    void JobLoop();
    // After the job loop: joins the connections, event 4, releases the slot.
    void Finish();
    void RequestStop();

    // Whether connections may retry: no stop asked for and the job queue still open.
    bool Running() const;
    // Waits up to ms, returning early (false) when the transfer stops meanwhile.
    bool WaitWhileRunning(int ms);
    // The retry rule: false when no retry is left or the transfer stops during the pause.
    bool RetryPause(DownloadConnection& c);
    // A connection found the transfer cannot go on (no size, refused file, fatal status).
    void EndTransfer();

    int Emit(int code, int connection, int64_t value, int64_t value2);
    void Log(int connection, int level, const std::string& text);

    // --- connection side ---
    void ConnectionMain(std::shared_ptr<DownloadConnection> c);
    Attempt ConnectionAttempts(DownloadConnection& c);
    Attempt FirstAttemptHttp(DownloadConnection& c);
    Attempt SegmentAttemptHttp(DownloadConnection& c);
    Attempt FirstAttemptFtp(DownloadConnection& c);
    Attempt SegmentAttemptFtp(DownloadConnection& c);
    bool ConnectHost(DownloadConnection& c, sockcompat::Socket& into, const std::string& host, int port,
                     bool proxy);

    // After the size is known: the same-name rule, the output file, the segments, event 3 and
    // the jobs for the further connections. False ends the transfer.
    bool PrepareOutput(DownloadConnection& c, int64_t total, bool severalConnections);
    // Takes the first free segment, else splits the largest; false when there is nothing.
    bool TakeSegment(DownloadConnection& c, bool maySplit);
    void ReleaseSegment(DownloadConnection& c);
    // Where c's segment stands: the next offset and the bytes still missing.
    bool SegmentPosition(const DownloadConnection& c, int64_t* offset, int64_t* missing);
    // Reads the body into c's segment. `pending` are bytes that arrived with the header;
    // `skip` bytes at the stream's start come before the segment's position and are dropped.
    Attempt ReceiveBody(DownloadConnection& c, sockcompat::Socket& from, const char* pending,
                        size_t pendingLength, int64_t skip);

    void PostStartConnections(int count);
    void PostConnectionEnded(std::shared_ptr<DownloadConnection> c);
    // After a connection ended (or never started) with `retries` used: while the transfer
    // runs and retries remain, a range nobody holds gets a connection of its own. True when
    // one was posted.
    bool ReplaceIfRangeLeft(int retries);

    DownloadSlot* slot_;
    DownloadSettings settings_;
    DownloadUrl url_;         // as started
    std::string currentUrl_;  // after redirects
    DownloadUrl currentParsed_;
    // Set by the first connection, read by every later one while it may still be written.
    std::atomic<bool> ftpResumable_{false};

    mutable std::mutex targetMutex_;
    std::string target_;

    std::atomic<int64_t> total_{-1};
    std::atomic<bool> endTransfer_{false};  // a connection decided the transfer is over

    mutable std::mutex receivedMutex_;
    int64_t received_ = 0;
    int64_t sinceQuery_ = 0;

    mutable std::mutex activeMutex_;
    int active_ = 0;

    mutable std::mutex segmentMutex_;
    std::vector<DownloadSegment> segments_;
    OutputFile file_;
    std::atomic<bool> writeFailed_{false};  // bytes counted as received never reached the file

    std::atomic<bool> stop_{false};
    std::atomic<bool> queueOpen_{true};
    std::atomic<bool> eventsClosed_{false};
    std::atomic<int> callbacksInFlight_{0};

    struct Job {
        enum Kind { kStart, kEnded } kind;
        std::shared_ptr<DownloadConnection> connection;
        bool replacement = false;  // kStart only
        int retries = 0;           // kStart only: retries already used for the range
    };
    std::mutex jobMutex_;
    std::condition_variable jobReady_;
    std::deque<Job> jobs_;
    std::condition_variable stopSignal_;  // waits on jobMutex_

    std::vector<std::shared_ptr<DownloadConnection>> connections_;  // under jobMutex_
    int nextConnectionId_ = 1;
    int replacements_ = 0;  // transfer thread only
    std::weak_ptr<DownloadTransfer> self_;
};

std::string FormatText(const char* format, ...);

}  // namespace web
