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
                                const std::function<int()>& drawInterval) {
    ++counters.sinceChange;
    ++counters.sinceKeepAlive;
    if (counters.sinceChange < RotationLimitSeconds(periodMinutes)) {
        if (counters.sinceKeepAlive < counters.keepAliveInterval) return RotationSend::Nothing;
        counters.keepAliveInterval = drawInterval();
        counters.sinceKeepAlive = 0;
        return RotationSend::KeepAlive;
    }
    counters.sinceChange = 0;
    return periodMinutes != 0 ? RotationSend::Change : RotationSend::Nothing;
}

void RunRotation(net::Sender& link, const net::MachineIdSource& machineId,
                 const std::function<bool()>& waitOneSecond, uint32_t seed) {
    std::minstd_rand generator(seed);
    std::uniform_int_distribution<int> seconds(kShortestKeepAlive, kLongestKeepAlive);
    auto draw = [&] { return seconds(generator); };
    RotationCounters counters;
    counters.keepAliveInterval = draw();
    do {
        std::string type = core::ReadSetting(core::kSectionRotation, core::kKeyRotationType, "0");
        int period =
            RotationPeriodMinutes(core::ReadSetting(core::kSectionRotation, core::kKeyRotationPeriod, "5"));
        switch (DecideRotationPass(counters, period, draw)) {
            case RotationSend::KeepAlive:
                net::SendKeepAlive(link);
                break;
            case RotationSend::Change:
                net::SendChangeWallpaperRequest(link, type, machineId);
                break;
            case RotationSend::Nothing:
                break;
        }
    } while (waitOneSecond());
}

void Rotation::Start() {
    thread_.Start("rotation", [this](const sys::StopSignal& stop) {
        auto now = std::chrono::system_clock::now().time_since_epoch().count();
        // The thread owns no window, so its second is a plain wait that a stop cuts short.
        RunRotation(
            link_, machineId_, [&stop] { return stop.WaitFor(std::chrono::seconds(1)); },
            static_cast<uint32_t>(now));
    });
}

void Rotation::Stop() {
    thread_.RequestStop();
    thread_.Join();
}

}  // namespace wallpaper
