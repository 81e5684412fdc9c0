#include "wallpaper/rotation.h"

#include <chrono>
#include <random>
#include <string>

#include "core/settings.h"
#include "sys/text.h"

namespace wallpaper {

namespace {

constexpr int kMinimumPeriod = 5;
constexpr int kShortestKeepAlive = 1;
constexpr int kLongestKeepAlive = 60;
// A change's next picture is asked for without waiting longer than this for the previous
// download: a node that never answers must not hold the rest of the change forever.
constexpr int64_t kLongestPictureWait = 120;

}  // namespace

int RotationPeriodMinutes(std::string_view storedText) {
    int period = sys::ToInt(storedText);
    return period < 0 ? kMinimumPeriod : period;
}

int64_t RotationLimitSeconds(int periodMinutes) {
    // Floating point as the period has always been computed; truncated toward zero.
    return static_cast<int64_t>(static_cast<double>(periodMinutes) * 60.0 + 5.0);
}

RotationSend DecideRotationPass(RotationCounters& counters, int periodMinutes,
                                const std::function<int()>& drawInterval,
                                const std::function<bool()>& paused) {
    ++counters.sinceChange;
    ++counters.sinceKeepAlive;
    bool due = counters.sinceChange >= RotationLimitSeconds(periodMinutes) || counters.changeOwed;
    if (due && periodMinutes != 0 && paused && paused()) {
        counters.changeOwed = true;
        due = false;
    }
    if (!due) {
        if (counters.sinceKeepAlive < counters.keepAliveInterval) return RotationSend::Nothing;
        counters.keepAliveInterval = drawInterval();
        counters.sinceKeepAlive = 0;
        return RotationSend::KeepAlive;
    }
    counters.sinceChange = 0;
    counters.changeOwed = false;
    return periodMinutes != 0 ? RotationSend::Change : RotationSend::Nothing;
}

void RunRotation(net::Sender& link, const net::MachineIdSource& machineId,
                 const std::function<bool()>& waitOneSecond, uint32_t seed, const RotationHooks& hooks) {
    std::minstd_rand generator(seed);
    std::uniform_int_distribution<int> seconds(kShortestKeepAlive, kLongestKeepAlive);
    auto draw = [&] { return seconds(generator); };
    auto ended = [&] { return hooks.silentDownloadsEnded ? hooks.silentDownloadsEnded() : 0; };
    RotationCounters counters;
    counters.keepAliveInterval = draw();
    // The pictures of the current change still to ask for, and since when the last one waits.
    int picturesLeft = 0;
    uint64_t endedAtAsk = 0;
    int64_t waited = 0;
    do {
        std::string type = core::ReadSetting(core::kSectionRotation, core::kKeyRotationType, "0");
        int period =
            RotationPeriodMinutes(core::ReadSetting(core::kSectionRotation, core::kKeyRotationPeriod, "5"));
        switch (DecideRotationPass(counters, period, draw, hooks.paused)) {
            case RotationSend::KeepAlive:
                net::SendKeepAlive(link);
                break;
            case RotationSend::Change:
                net::SendChangeWallpaperRequest(link, type, machineId);
                picturesLeft = (hooks.picturesPerChange ? hooks.picturesPerChange() : 1) - 1;
                endedAtAsk = ended();
                waited = 0;
                continue;
            case RotationSend::Nothing:
                break;
        }
        if (picturesLeft > 0 && (ended() != endedAtAsk || ++waited >= kLongestPictureWait)) {
            net::SendChangeWallpaperRequest(link, type, machineId);
            --picturesLeft;
            endedAtAsk = ended();
            waited = 0;
        }
    } while (waitOneSecond());
}

void Rotation::Start() {
    thread_.Start("rotation", [this](const sys::StopSignal& stop) {
        auto now = std::chrono::system_clock::now().time_since_epoch().count();
        // The thread owns no window, so its second is a plain wait that a stop cuts short.
        RunRotation(
            link_, machineId_, [&stop] { return stop.WaitFor(std::chrono::seconds(1)); },
            static_cast<uint32_t>(now), hooks_);
    });
}

void Rotation::Stop() {
    thread_.RequestStop();
    thread_.Join();
}

}  // namespace wallpaper
