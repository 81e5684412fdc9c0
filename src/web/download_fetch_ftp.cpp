// One FTP attempt of a connection: log in, open the data connection, REST and RETR, body.
#include "sys/text.h"
#include "web/download_ftp.h"
#include "web/download_transfer.h"

namespace web {

static constexpr const char* kAnonymousPassword = "miaolan@wallpaper.local";

namespace {

class FtpControl {
  public:
    FtpControl(DownloadTransfer& t, DownloadConnection& c) : t_(t), c_(c) {}

    bool Read(FtpReplyReader::Reply* reply) {
        char buffer[2048];
        while (!reader_.HasReply()) {
            long n = c_.control.Receive(buffer, sizeof buffer);
            if (n <= 0) return false;
            reader_.Feed(buffer, static_cast<size_t>(n));
            if (reader_.bad()) return false;
        }
        *reply = reader_.Next();
        t_.Log(c_.id, 2, reply->text);
        return true;
    }

    // A reply code, or 0 when the exchange failed.
    int Command(const std::string& command, FtpReplyReader::Reply* reply = nullptr,
                const char* shown = nullptr) {
        t_.Log(c_.id, 1, shown ? shown : command);
        if (!c_.control.SendAll(command + "\r\n")) return 0;
        FtpReplyReader::Reply local;
        FtpReplyReader::Reply& r = reply ? *reply : local;
        return Read(&r) ? r.code : 0;
    }

  private:
    DownloadTransfer& t_;
    DownloadConnection& c_;
    FtpReplyReader reader_;
};

}  // namespace

// Connects, logs in and sets the transfer type. `probe` (the first connection, before the size
// is known and before any other connection reads the result) also learns whether the site can
// resume: in image mode, since some servers refuse every restart in ASCII mode, and only once,
// so a later login of the same connection never flips what the others already rely on.
static Attempt Login(DownloadTransfer& t, DownloadConnection& c, FtpControl& ftp, bool probe,
                     Attempt onRefused) {
    const DownloadUrl& url = t.url_;
    if (!t.ConnectHost(c, c.control, url.host, url.port, false)) return Attempt::kRetry;
    t.Log(c.id, 0, "连接成功, 等待欢迎消息");
    FtpReplyReader::Reply reply;
    bool welcomed = false;
    while (ftp.Read(&reply)) {
        if (reply.code >= 100 && reply.code < 200) continue;  // "ready in n minutes"
        welcomed = reply.code == 220;
        break;
    }
    if (!welcomed) {
        t.Log(c.id, 3, "无法得到欢迎消息");
        return Attempt::kRetry;
    }
    // User information in the URL names this site's account; the record's member is the default.
    std::string user = !url.user.empty() ? url.user : t.settings_.ftpUser;
    std::string password = !url.user.empty() ? url.password : t.settings_.ftpPassword;
    if (user.empty()) user = "anonymous";
    if (password.empty()) password = kAnonymousPassword;
    int code = ftp.Command("USER " + user);
    if (code == 0) return Attempt::kRetry;
    if (code == 331 || code == 332) code = ftp.Command("PASS " + password, nullptr, "PASS ******");
    if (code == 0) return Attempt::kRetry;
    if (code != 230 && code != 202) {
        t.Log(c.id, 3, "登录失败");
        return onRefused;
    }
    t.Log(c.id, 0, "登录成功");
    code = ftp.Command("TYPE I");
    if (code == 0) return Attempt::kRetry;
    if (code != 200 && ftp.Command("TYPE A") == 0) return Attempt::kRetry;
    if (probe) {
        code = ftp.Command("REST 100");
        if (code == 0) return Attempt::kRetry;
        t.ftpResumable_.store(code == 350);
        if (ftp.Command("REST 0") == 0) return Attempt::kRetry;
        t.Log(c.id, 0, t.ftpResumable_.load() ? "站点支持断点续传" : "站点不支持断点续传");
    }
    return Attempt::kComplete;
}

// PASV, or an active-mode listener when passive fails. RETR from `offset` follows; on success
// c.data is the data connection and *skip the bytes to drop before `offset` is reached.
static Attempt Retrieve(DownloadTransfer& t, DownloadConnection& c, FtpControl& ftp, int64_t offset,
                        FtpReplyReader::Reply* retrReply, int64_t* skip, Attempt onRefused) {
    FtpReplyReader::Reply reply;
    sockcompat::Socket listener;
    int code = ftp.Command("PASV", &reply);
    if (code == 0) return Attempt::kRetry;
    uint32_t address = 0;
    uint16_t port = 0;
    bool passive = code == 227 && ParsePassiveReply(reply.text, &address, &port);
    if (passive) {
        sockcompat::Socket data = sockcompat::ConnectAny({sockcompat::IPv4Address(address, port)},
                                                         t.settings_.connectTimeoutMs, {}, nullptr);
        if (!data.valid()) {
            t.Log(c.id, 3, FormatText("连接 [%s:%d]失败", sockcompat::FormatIPv4(address).c_str(), port));
            passive = false;
        } else {
            c.Set(c.data, std::move(data));
        }
    }
    if (!passive) {
        t.Log(c.id, 0, "尝试主动模式连接");
        uint32_t local = 0;
        uint16_t listening = 0;
        if (!sockcompat::LocalIPv4(c.control.get(), &local, nullptr)) return Attempt::kRetry;
        listener = sockcompat::ListenIPv4(local, 0, 1);
        if (!listener.valid() || !sockcompat::LocalIPv4(listener.get(), nullptr, &listening))
            return Attempt::kRetry;
        code = ftp.Command(FormatPortCommand(local, listening));
        if (code == 0) return Attempt::kRetry;
        if (code != 200) {
            t.Log(c.id, 3, "数据传送失败");
            return onRefused;
        }
    }
    *skip = 0;
    if (offset > 0 || t.ftpResumable_.load()) {
        code = ftp.Command("REST " + std::to_string(offset));
        if (code == 0) return Attempt::kRetry;
        if (code != 350) *skip = offset;  // restart refused: read from the start and drop
    }
    code = ftp.Command("RETR " + t.url_.path, retrReply);
    if (code == 0) return Attempt::kRetry;
    if (code != 125 && code != 150) {
        t.Log(c.id, 3, "数据传送失败");
        // Only a permanent refusal is one. Anything else, a 4xx or a "226" for a data
        // connection the server saw close before any transfer began, is tried again.
        return code >= 500 ? onRefused : Attempt::kRetry;
    }
    if (!passive) {
        sockcompat::Socket data = sockcompat::Accept(listener.get(), t.settings_.connectTimeoutMs);
        if (!data.valid()) {
            t.Log(c.id, 3, "数据传送失败");
            return Attempt::kRetry;
        }
        c.Set(c.data, std::move(data));
    }
    c.data.SetReceiveTimeout(t.settings_.receiveTimeoutMs);
    c.data.SetSendTimeout(t.settings_.sendTimeoutMs);
    return Attempt::kComplete;
}

Attempt DownloadTransfer::FirstAttemptFtp(DownloadConnection& c) {
    FtpControl ftp(*this, c);
    Attempt a = Login(*this, c, ftp, true, Attempt::kEndTransfer);
    if (a != Attempt::kComplete) return a;
    FtpReplyReader::Reply reply;
    int code = ftp.Command("SIZE " + url_.path, &reply);
    if (code == 0) return Attempt::kRetry;
    int64_t total = FtpStatedSize(code, reply.text);
    int64_t skip = 0;
    a = Retrieve(*this, c, ftp, 0, &reply, &skip, Attempt::kEndTransfer);
    if (a != Attempt::kComplete) return a;
    if (total < 0) total = FtpStatedSize(reply.code, reply.text);
    if (total < 0) {
        Log(c.id, 3, "无法获得文件大小");
        return Attempt::kEndTransfer;
    }
    if (!PrepareOutput(c, total, ftpResumable_.load())) return Attempt::kEndTransfer;
    return ReceiveBody(c, c.data, nullptr, 0, 0);
}

Attempt DownloadTransfer::SegmentAttemptFtp(DownloadConnection& c) {
    int64_t offset, missing;
    if (!SegmentPosition(c, &offset, &missing)) return Attempt::kGiveUp;
    if (missing <= 0) return Attempt::kComplete;
    FtpControl ftp(*this, c);
    // The first login proved the account: a later one refused is a server's connection limit,
    // which lifts when another connection logs out. A range the server refuses for good ends
    // the transfer short instead of leaving it to nobody.
    Attempt a = Login(*this, c, ftp, false, Attempt::kRetry);
    if (a != Attempt::kComplete) return a;
    FtpReplyReader::Reply reply;
    int64_t skip = 0;
    a = Retrieve(*this, c, ftp, offset, &reply, &skip, Attempt::kEndTransfer);
    if (a != Attempt::kComplete) return a;
    return ReceiveBody(c, c.data, nullptr, 0, skip);
}

}  // namespace web
