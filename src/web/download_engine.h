// The multi-connection download engine: one file from an http:// or ftp:// URL into a local
// file, on threads of its own, over several ranged connections when the file is large enough.
//
// A transfer is described by a settings record, started into a slot, and reports through two
// callbacks. Event codes (value, second value):
//   3 total size known (total, 0)           4 transfer ended, always last (total when every
//   5 a connection thread started (0, 0)      byte arrived, else the bytes received; 0)
//   6 progress of a connection's first segment (segment start + done, segment end)
//   7 progress of a segment taken over later (segment start + done, segment end)
//   9 a connection finished (segment start + done, 0)
//  18 the target file exists (existing size, total); answer 1 gives up, 2 means the callback
//     chose another name with SetTargetFile, anything else lets the engine rename automatically.
// Event 4 runs on the transfer's own thread, every other event on a connection thread. No
// engine lock is held during a callback. The program's own callers hear a transfer through
// DownloadObserver (download_observer.h) instead of these codes.
//
// While the transfer runs, no range of the file is left without a connection: a range whose
// holder ends short is fetched by a new connection after the retry pause, as long as retries
// remain. A range the server refuses for good ends the transfer short instead.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace web {

class DownloadTransfer;

inline constexpr uint32_t kDownloadFlag = 0x1000;
inline constexpr uint32_t kUploadFlag = 0x2000;

inline constexpr int kBlockSize = 20480;
inline constexpr int kRetryCount = 999;
inline constexpr int kRetryWaitMs = 5000;
inline constexpr int kSameNameAttempts = 99;

// (code, connection, value, second value, transfer) -> answer. `connection` is the 1-based
// number of the connection, 0 for the transfer itself.
using DownloadEventCallback = std::function<int(int, int, int64_t, int64_t, DownloadTransfer*)>;
// (connection, text, level, transfer); level 0 progress, 1 request sent, 2 reply received,
// 3 error. Texts are GBK.
using DownloadLogCallback = std::function<void(int, const std::string&, int, DownloadTransfer*)>;

// The settings record, members in the order of their numbers. Zero or negative time-outs and
// sizes take the values in brackets.
struct DownloadSettings {
    uint32_t flags = 0;           // 1: the start always adds kDownloadFlag
    std::string url;              // 2
    std::string localFile;        // 3
    std::string ftpUser;          // 4: empty means "anonymous"
    std::string ftpPassword;      // 5: empty means an e-mail-form anonymous password
    int connections = 0;          // 6 [1]
    int64_t readBudget = 0;       // 7: when non-zero, split over the active connections
    int connectTimeoutMs = 0;     // 8 [5000]
    int sendTimeoutMs = 0;        // 9 [5001]
    int receiveTimeoutMs = 0;     // 10 [10000]
    int graceMs = 0;              // 11 [1000]
    int readSize = 0;             // 12 [10240], at most kBlockSize
    int64_t option13 = 0;         // 13: not used
    DownloadLogCallback log;      // 14
    DownloadEventCallback event;  // 15
    int64_t option16 = 0;         // 16: not used
    int64_t option17 = 0;         // 17: not used
    std::string fileTypes;        // 18: kept, not used
    std::string proxy;            // 19: HTTP proxy, host or host:port (80)
    std::string referer;          // 20: empty means the URL cut before its last "/"
};

// The slot variable of one transfer at a time. Non-empty from a successful start until the
// transfer has delivered event 4 and released itself. Safe from any thread.
class DownloadSlot {
  public:
    DownloadSlot() = default;
    // Stops a running transfer and waits for it to release the slot.
    ~DownloadSlot();
    DownloadSlot(const DownloadSlot&) = delete;
    DownloadSlot& operator=(const DownloadSlot&) = delete;

    bool Busy() const;
    // Bytes received since the previous call; the count starts again at 0.
    int64_t TakeBytesSinceLastQuery();
    // Bytes received so far by the running transfer; 0 when idle.
    int64_t BytesSoFar() const;
    // Asks the running transfer to stop; it still ends with event 4.
    void Stop();
    // Waits until the slot is idle and the thread of its last transfer has ended; false when it
    // is still busy after timeoutMs. Not from a transfer's own callback.
    bool WaitIdle(int timeoutMs);

  private:
    friend bool StartDownload(DownloadSlot& slot, const DownloadSettings& settings);
    friend class DownloadTransfer;
    void Release();

    // The last transfer's thread: it releases the slot as its last step and is joined by the
    // next start, WaitIdle or the destructor.
    void JoinFinished();

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::shared_ptr<DownloadTransfer> transfer_;
    std::thread thread_;
};

// The record the program's download slots start with: kDownloadFlag, `connections` connections,
// and the timeouts and read size the program always uses. The caller adds the event callback.
DownloadSettings ProgramDownloadSettings(const std::string& url, const std::string& localFile,
                                         int connections = 5);

// Refuses (false) while the slot is busy, when the URL cannot be parsed (https:// among
// them), names a scheme other than http:// or ftp://, or holds a control byte, DEL or a space;
// nothing is created or sent then. Otherwise starts the transfer's thread and returns at once.
[[nodiscard]] bool StartDownload(DownloadSlot& slot, const DownloadSettings& settings);

// For use inside callbacks, with the transfer they were given.
std::string TargetFile(const DownloadTransfer* transfer);
// The answer-2 path of event 18: the name the engine creates instead.
void SetTargetFile(DownloadTransfer* transfer, const std::string& path);
int64_t TotalSize(const DownloadTransfer* transfer);  // -1 until known
int64_t BytesReceived(const DownloadTransfer* transfer);
// True when every byte of the file has arrived (meaningful at event 4).
bool TransferComplete(const DownloadTransfer* transfer);

}  // namespace web
