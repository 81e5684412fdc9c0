#include "web/download_engine.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

#include "sys/text.h"
#include "web/download_observer.h"
#include "web/download_transfer.h"
#include "web/url_text.h"

namespace web {

std::string FormatText(const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return {};
    return std::string(buffer,
                       static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1);
}

// ---------------------------------------------------------------- slot

DownloadSlot::~DownloadSlot() {
    Stop();
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] { return transfer_ == nullptr; });
    }
    JoinFinished();
}

void DownloadSlot::JoinFinished() {
    std::thread finished;
    {
        std::lock_guard lock(mutex_);
        if (transfer_) return;
        finished = std::move(thread_);
    }
    if (finished.joinable()) finished.join();
}

bool DownloadSlot::Busy() const {
    std::lock_guard lock(mutex_);
    return transfer_ != nullptr;
}

int64_t DownloadSlot::TakeBytesSinceLastQuery() {
    std::shared_ptr<DownloadTransfer> t;
    {
        std::lock_guard lock(mutex_);
        t = transfer_;
    }
    if (!t) return 0;
    std::lock_guard lock(t->receivedMutex_);
    int64_t n = t->sinceQuery_;
    t->sinceQuery_ = 0;
    return n;
}

int64_t DownloadSlot::BytesSoFar() const {
    std::shared_ptr<DownloadTransfer> t;
    {
        std::lock_guard lock(mutex_);
        t = transfer_;
    }
    return t ? BytesReceived(t.get()) : 0;
}

void DownloadSlot::Stop() {
    std::shared_ptr<DownloadTransfer> t;
    {
        std::lock_guard lock(mutex_);
        t = transfer_;
    }
    if (t) t->RequestStop();
}

bool DownloadSlot::WaitIdle(int timeoutMs) {
    {
        std::unique_lock lock(mutex_);
        if (!idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return transfer_ == nullptr; }))
            return false;
    }
    JoinFinished();
    return true;
}

void DownloadSlot::Release() {
    std::lock_guard lock(mutex_);
    transfer_.reset();
    idle_.notify_all();
}

DownloadSettings ProgramDownloadSettings(const std::string& url, const std::string& localFile,
                                         int connections) {
    DownloadSettings s;
    s.flags = kDownloadFlag;
    s.url = url;
    s.localFile = localFile;
    s.connections = connections;
    s.connectTimeoutMs = 5000;
    s.sendTimeoutMs = 5001;
    s.receiveTimeoutMs = 10000;
    s.graceMs = 1000;
    s.readSize = 10240;
    return s;
}

bool StartDownload(DownloadSlot& slot, const DownloadSettings& settings) {
    DownloadUrl url;
    // The URL comes from the node: one that could carry a header of its own, or that names a
    // scheme no connection here speaks (the streaming ones), starts nothing.
    if (!IsSendableUrlText(settings.url) || !ParseDownloadUrl(settings.url, &url)) return false;
    if (url.scheme != DownloadScheme::kHttp && url.scheme != DownloadScheme::kFtp) return false;
    std::thread finished;
    {
        std::lock_guard lock(slot.mutex_);
        if (slot.transfer_) return false;
        try {
            auto transfer = std::make_shared<DownloadTransfer>(&slot, settings, url);
            slot.transfer_ = transfer;
            // The thread owns a reference until it has released the slot, its last step.
            std::thread thread([transfer] { transfer->Run(transfer); });
            finished = std::exchange(slot.thread_, std::move(thread));
        } catch (...) {
            // No thread (std::system_error) or no memory: a start that failed, the slot still free.
            slot.transfer_.reset();
            return false;
        }
    }
    // The previous transfer released the slot before this start could take it: it is ending.
    if (finished.joinable()) finished.join();
    return true;
}

std::string TargetFile(const DownloadTransfer* t) {
    std::lock_guard lock(t->targetMutex_);
    return t->target_;
}

void SetTargetFile(DownloadTransfer* t, const std::string& path) {
    std::lock_guard lock(t->targetMutex_);
    t->target_ = path;
}

int64_t TotalSize(const DownloadTransfer* t) { return t->total_.load(); }

int64_t BytesReceived(const DownloadTransfer* t) {
    std::lock_guard lock(t->receivedMutex_);
    return t->received_;
}

bool TransferComplete(const DownloadTransfer* t) {
    if (t->total_.load() < 0 || t->writeFailed_.load()) return false;
    std::lock_guard lock(t->segmentMutex_);
    if (t->segments_.empty()) return false;
    for (const DownloadSegment& s : t->segments_)
        if (!s.complete()) return false;
    return true;
}

// ---------------------------------------------------------------- connection sockets

void DownloadConnection::Set(sockcompat::Socket& which, sockcompat::Socket&& replacement) {
    std::lock_guard lock(socketMutex);
    which = std::move(replacement);
}

void DownloadConnection::CloseAll() {
    std::lock_guard lock(socketMutex);
    data.Reset();
    control.Reset();
}

void DownloadConnection::Wake() {
    std::lock_guard lock(socketMutex);
    data.ShutdownBoth();
    control.ShutdownBoth();
}

// ---------------------------------------------------------------- transfer

static int OrDefault(int value, int fallback) { return value > 0 ? value : fallback; }

DownloadTransfer::DownloadTransfer(DownloadSlot* slot, const DownloadSettings& settings,
                                   const DownloadUrl& url)
    : slot_(slot),
      settings_(settings),
      url_(url),
      currentUrl_(settings.url),
      currentParsed_(url),
      target_(settings.localFile) {
    settings_.flags |= kDownloadFlag;
    settings_.connections = OrDefault(settings_.connections, 1);
    settings_.connectTimeoutMs = OrDefault(settings_.connectTimeoutMs, 5000);
    settings_.sendTimeoutMs = OrDefault(settings_.sendTimeoutMs, 5001);
    settings_.receiveTimeoutMs = OrDefault(settings_.receiveTimeoutMs, 10000);
    settings_.graceMs = OrDefault(settings_.graceMs, 1000);
    settings_.readSize = OrDefault(settings_.readSize, 10240);
    if (settings_.readSize > kBlockSize) settings_.readSize = kBlockSize;
}

bool DownloadTransfer::Running() const { return !stop_.load() && queueOpen_.load() && !endTransfer_.load(); }

bool DownloadTransfer::WaitWhileRunning(int ms) {
    std::unique_lock lock(jobMutex_);
    return !stopSignal_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !Running(); });
}

void DownloadTransfer::RequestStop() {
    stop_.store(true);
    std::vector<std::shared_ptr<DownloadConnection>> all;
    {
        std::lock_guard lock(jobMutex_);
        all = connections_;
        stopSignal_.notify_all();
    }
    for (auto& c : all) c->Wake();
}

int DownloadTransfer::Emit(int code, int connection, int64_t value, int64_t value2) {
    if (!settings_.event) return 0;
    // A connection still unwinding after event 4 must not call back into a caller that has
    // moved on; the counter lets the transfer thread wait for calls already under way.
    callbacksInFlight_.fetch_add(1);
    if (eventsClosed_.load() && code != 4) {
        callbacksInFlight_.fetch_sub(1);
        return 0;
    }
    int answer = 0;
    try {
        answer = settings_.event(code, connection, value, value2, this);
    } catch (...) {
    }
    callbacksInFlight_.fetch_sub(1);
    return answer;
}

void DownloadTransfer::Log(int connection, int level, const std::string& text) {
    if (!settings_.log || eventsClosed_.load()) return;
    try {
        settings_.log(connection, text, level, this);
    } catch (...) {
    }
}

void DownloadTransfer::PostStartConnections(int count) {
    std::lock_guard lock(jobMutex_);
    for (int i = 0; i < count; ++i) jobs_.push_back({Job::kStart, nullptr});
    jobReady_.notify_one();
}

void DownloadTransfer::PostConnectionEnded(std::shared_ptr<DownloadConnection> c) {
    std::lock_guard lock(jobMutex_);
    jobs_.push_back({Job::kEnded, std::move(c)});
    jobReady_.notify_one();
}

bool DownloadTransfer::ReplaceIfRangeLeft(int retries) {
    // Bounded twice: by the retries of the connection that left, and for the whole transfer.
    if (!Running() || retries >= kRetryCount || replacements_ >= kRetryCount) return false;
    {
        std::lock_guard lock(segmentMutex_);
        bool left = false;
        for (const DownloadSegment& s : segments_) left = left || (!s.assigned && !s.complete());
        if (!left) return false;
    }
    // Only a connection that finishes its own segment looks for a free one; when the holder of
    // a range gives up after the others have ended, nobody else would ever fetch it.
    ++replacements_;
    std::lock_guard lock(jobMutex_);
    Job job{Job::kStart, nullptr};
    job.replacement = true;
    job.retries = retries;
    jobs_.push_back(std::move(job));
    jobReady_.notify_one();
    return true;
}

void DownloadTransfer::Run(std::shared_ptr<DownloadTransfer> self) {
    self_ = self;
    // Whatever goes wrong in the job loop, the connections are joined and the slot released.
    osthread::RunGuarded("dl-transfer", [&] { JobLoop(); });
    Finish();
}

void DownloadTransfer::JobLoop() {
    sockcompat::EnsureStarted();
    bool firstStarted = false;
    PostStartConnections(1);
    for (;;) {
        Job job;
        {
            std::unique_lock lock(jobMutex_);
            jobReady_.wait(lock, [&] { return !jobs_.empty(); });
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (job.kind == Job::kStart) {
            auto c = std::make_shared<DownloadConnection>();
            c->first = !firstStarted;
            c->replacement = job.replacement;
            c->retries = job.retries;
            firstStarted = true;
            {
                std::lock_guard lock(activeMutex_);
                ++active_;
            }
            {
                std::lock_guard lock(jobMutex_);
                c->id = nextConnectionId_++;
                connections_.push_back(c);
            }
            try {
                c->thread = std::thread([this, c] { ConnectionMain(c); });
            } catch (...) {
                // No thread for it: the connection never ran. Forget it; when it was the only
                // one, the transfer ends here.
                {
                    std::lock_guard lock(jobMutex_);
                    std::erase(connections_, c);
                }
                bool replaced = ReplaceIfRangeLeft(job.retries + 1);
                int left;
                {
                    std::lock_guard lock(activeMutex_);
                    left = --active_;
                }
                if (left == 0 && !replaced) break;
            }
            continue;
        }
        // A connection has ended: give its thread the grace time to return.
        DownloadConnection& c = *job.connection;
        for (int waited = 0; !c.finished.load() && waited < settings_.graceMs; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        int64_t position = 0;
        {
            std::lock_guard lock(segmentMutex_);
            if (c.segment >= 0) position = segments_[c.segment].start + segments_[c.segment].done;
        }
        Emit(9, c.id, position, 0);
        bool replaced = ReplaceIfRangeLeft(c.retries);
        int left;
        {
            std::lock_guard lock(activeMutex_);
            left = --active_;
        }
        if (left == 0 && !replaced) break;
    }
}

void DownloadTransfer::Finish() {
    queueOpen_.store(false);
    std::vector<std::shared_ptr<DownloadConnection>> all;
    {
        std::lock_guard lock(jobMutex_);
        all.swap(connections_);
        stopSignal_.notify_all();
    }
    // Every connection has reported its end; a thread still inside a blocking call is woken,
    // and none may outlive the file it writes into.
    for (auto& c : all) c->Wake();
    for (auto& c : all)
        if (c->thread.joinable()) c->thread.join();
    {
        std::lock_guard lock(segmentMutex_);
        file_.Close();
    }

    eventsClosed_.store(true);
    while (callbacksInFlight_.load() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The full size only for a file that holds every byte; anything short reports what came.
    int64_t value = TransferComplete(this) ? total_.load() : BytesReceived(this);
    Emit(4, 0, value, 0);
    for (auto& c : all) c->CloseAll();
    all.clear();
    // Only now may the slot be started again.
    slot_->Release();
}

// ---------------------------------------------------------------- segments

bool DownloadTransfer::TakeSegment(DownloadConnection& c, bool maySplit) {
    std::lock_guard lock(segmentMutex_);
    int i = ChooseSegment(segments_, maySplit);
    if (i < 0) return false;
    segments_[i].assigned = true;
    segments_[i].owner = std::this_thread::get_id();
    segments_[i].connection = c.id;
    c.segment = i;
    return true;
}

void DownloadTransfer::ReleaseSegment(DownloadConnection& c) {
    std::lock_guard lock(segmentMutex_);
    if (c.segment >= 0 && !segments_[c.segment].complete()) segments_[c.segment].assigned = false;
}

bool DownloadTransfer::SegmentPosition(const DownloadConnection& c, int64_t* offset, int64_t* missing) {
    std::lock_guard lock(segmentMutex_);
    if (c.segment < 0) return false;
    const DownloadSegment& s = segments_[c.segment];
    *offset = s.start + s.done;
    *missing = s.length - s.done;
    return true;
}

bool DownloadTransfer::PrepareOutput(DownloadConnection& c, int64_t total, bool severalConnections) {
    std::string path = TargetFile(this);
    if (PathExists(path)) {
        int answer = Emit(18, c.id, ExistingFileSize(path), total);
        if (answer == 1) {
            Log(c.id, 3, "发现同名文件, 用户选择放弃下载");
            return false;
        }
        if (answer == 2) {
            path = TargetFile(this);
            Log(c.id, 0, FormatText("发现同名文件, 用户更名为%s", path.c_str()));
        } else {
            // "name(n).ext" beside the original; the extension is the part after the last "."
            // of the file name itself, never of a folder.
            int slash = std::max(sys::FindLast(path, "\\"), sys::FindLast(path, "/"));
            int dot = sys::FindLast(path, ".");
            size_t cut = dot > slash && dot > 0 ? static_cast<size_t>(dot - 1) : path.size();
            std::string chosen;
            for (int n = 1; n <= kSameNameAttempts; ++n) {
                std::string candidate =
                    path.substr(0, cut) + "(" + std::to_string(n) + ")" + path.substr(cut);
                if (!PathExists(candidate)) {
                    chosen = candidate;
                    break;
                }
            }
            if (chosen.empty()) {
                Log(c.id, 3, "发现同名文件，超过系统自动更名次数");
                return false;
            }
            path = chosen;
            SetTargetFile(this, path);
            Log(c.id, 0, FormatText("发现同名文件, 系统自动更名为%s", path.c_str()));
        }
    }
    int count = 1;
    {
        std::lock_guard lock(segmentMutex_);
        if (!file_.Create(path, total)) {
            Log(c.id, 3, "创建文件错误，超出最大支持下载长度或磁盘不可写或磁盘没有空间或同名文件已存在");
            return false;
        }
        segments_ = InitialSegments(total, settings_.connections, severalConnections);
        count = static_cast<int>(segments_.size());
        segments_[0].assigned = true;
        segments_[0].owner = std::this_thread::get_id();
        segments_[0].connection = c.id;
        c.segment = 0;
    }
    total_.store(total);
    Emit(3, c.id, total, 0);
    if (count > 1) PostStartConnections(count - 1);
    return true;
}

Attempt DownloadTransfer::ReceiveBody(DownloadConnection& c, sockcompat::Socket& from, const char* pending,
                                      size_t pendingLength, int64_t skip) {
    // Received bytes gather here, at their place in the file, and go to the file in one write
    // per fill: one system call for many receives, and no page of a mapping faulting in on
    // every first touch. Bytes are counted when received and written before any return, so
    // a retry resumes from bytes that are on disk.
    constexpr size_t kStageSize = 256 * 1024;
    std::unique_ptr<char[]> stage(new char[kStageSize]);
    std::unique_ptr<char[]> discard;
    int64_t stagedAt = 0;
    size_t staged = 0;
    auto flush = [&]() -> bool {
        if (staged == 0) return true;
        bool ok = file_.WriteAt(stagedAt, stage.get(), staged);
        staged = 0;
        if (!ok) {
            writeFailed_.store(true);
            Log(c.id, 3, "写入文件出错");
        }
        return ok;
    };
    // A file that cannot be written can never be complete: the transfer ends.
    for (;;) {
        int64_t offset, missing;
        if (!SegmentPosition(c, &offset, &missing)) return flush() ? Attempt::kGiveUp : Attempt::kEndTransfer;
        if (missing <= 0) return flush() ? Attempt::kComplete : Attempt::kEndTransfer;
        if (!Running()) {
            flush();
            return Attempt::kGiveUp;
        }

        int64_t want = settings_.readSize;
        if (settings_.readBudget > 0) {
            int active;
            {
                std::lock_guard lock(activeMutex_);
                active = active_ > 0 ? active_ : 1;
            }
            want = settings_.readBudget / active;
            if (want < 1) want = 1;
            if (want > kBlockSize) want = kBlockSize;
        }
        if (skip == 0 && want > missing) want = missing;

        bool intoBuffer = skip > 0;
        char* target;
        if (intoBuffer) {
            if (!discard) discard.reset(new char[kBlockSize]);
            target = discard.get();
        } else {
            if (staged > 0 &&
                (stagedAt + static_cast<int64_t>(staged) != offset ||
                 staged + static_cast<size_t>(want) > kStageSize) &&
                !flush())
                return Attempt::kEndTransfer;
            if (staged == 0) stagedAt = offset;
            target = stage.get() + staged;
        }
        long n;
        if (pendingLength > 0) {
            n = static_cast<long>(pendingLength < static_cast<size_t>(want) ? pendingLength
                                                                            : static_cast<size_t>(want));
            if (skip > 0 && n > skip) n = static_cast<long>(skip);
            if (!intoBuffer) std::memcpy(target, pending, static_cast<size_t>(n));
            pending += n;
            pendingLength -= static_cast<size_t>(n);
        } else {
            if (skip > 0 && want > skip) want = skip;
            n = from.Receive(target, static_cast<size_t>(want));
            if (n <= 0) {
                Log(c.id, 3, n == 0 ? "连接被服务器关闭" : "接收数据超时或出错");
                return flush() ? Attempt::kRetry : Attempt::kEndTransfer;
            }
        }
        if (skip > 0) {
            skip -= n;
            continue;
        }
        staged += static_cast<size_t>(n);
        int64_t taken, start, end;
        {
            std::lock_guard lock(segmentMutex_);
            DownloadSegment& s = segments_[c.segment];
            // A split may have moved this segment's end while the receive ran; bytes past it
            // are the same bytes the new owner writes, so they are only not counted twice.
            taken = std::min<int64_t>(n, s.length - s.done);
            if (taken < 0) taken = 0;
            s.done += taken;
            start = s.start + s.done;
            end = s.start + s.length;
        }
        {
            std::lock_guard lock(receivedMutex_);
            received_ += taken;
            sinceQuery_ += taken;
        }
        Emit(c.tookOver ? 7 : 6, c.id, start, end);
    }
}

// ---------------------------------------------------------------- connection thread

bool DownloadTransfer::RetryPause(DownloadConnection& c) {
    if (!Running() || c.retries >= kRetryCount) return false;
    Log(c.id, 0, FormatText("等待%d秒后重试", kRetryWaitMs / 1000));
    if (!WaitWhileRunning(kRetryWaitMs)) return false;
    ++c.retries;
    return true;
}

void DownloadTransfer::EndTransfer() {
    endTransfer_.store(true);
    std::lock_guard lock(jobMutex_);
    stopSignal_.notify_all();
}

void DownloadTransfer::ConnectionMain(std::shared_ptr<DownloadConnection> keep) {
    DownloadConnection& c = *keep;
    Attempt a = Attempt::kGiveUp;
    // An exception ends this connection only; its end is reported as any other.
    osthread::RunGuarded("dl-connection", [&] { a = ConnectionAttempts(c); });
    if (a == Attempt::kEndTransfer) EndTransfer();
    ReleaseSegment(c);
    c.CloseAll();
    PostConnectionEnded(keep);
    c.finished.store(true);
}

Attempt DownloadTransfer::ConnectionAttempts(DownloadConnection& c) {
    Emit(5, c.id, 0, 0);
    bool ftp = url_.scheme == DownloadScheme::kFtp;
    // kRetry below means "fetch (the rest of) the segment now".
    Attempt a = Attempt::kGiveUp;
    if (url_.scheme != DownloadScheme::kHttp && !ftp) {
        Log(c.id, 3, "不支持的协议");
        a = Attempt::kEndTransfer;
    } else if (c.first) {
        for (;;) {
            a = ftp ? FirstAttemptFtp(c) : FirstAttemptHttp(c);
            c.CloseAll();
            if (a != Attempt::kRetry) break;
            if (!RetryPause(c)) {
                a = Attempt::kGiveUp;
                break;
            }
            if (c.segment >= 0) break;  // the size is known: go on with ranged requests
        }
    } else if (c.replacement && !RetryPause(c)) {
        a = Attempt::kGiveUp;
    } else if (TakeSegment(c, true)) {
        a = Attempt::kRetry;
    }

    while (a == Attempt::kRetry || a == Attempt::kComplete) {
        while (a == Attempt::kRetry) {
            a = ftp ? SegmentAttemptFtp(c) : SegmentAttemptHttp(c);
            c.CloseAll();
            if (a == Attempt::kRetry && !RetryPause(c)) a = Attempt::kGiveUp;
        }
        if (a != Attempt::kComplete || !Running()) break;
        if (!TakeSegment(c, false)) break;
        c.tookOver = true;
        a = Attempt::kRetry;
    }
    return a;
}

}  // namespace web

namespace web {

DownloadEventCallback EventsFor(DownloadObserver& observer) {
    return [&observer](int code, int, int64_t value, int64_t, DownloadTransfer* t) {
        if (code == 3) {
            observer.TotalKnown(value);
        } else if (code == 4) {
            observer.Finished({TargetFile(t), BytesReceived(t), TransferComplete(t)});
        }
        return 0;
    };
}

}  // namespace web
