#include "wallpaper/rotation.h"

#include <chrono>
#include <random>
#include <string>
#include <system_error>
#include <thread>

#include "core/settings.h"
#include "sys/delay.h"
#include "sys/text.h"
#include "thread_name.h"

namespace wallpaper {

namespace {

constexpr int kMinimumPeriod = 5;
constexpr int kShortestKeepAlive = 1;
constexpr int kLongestKeepAlive = 60;

}  // namespace

int RotationPeriodMinutes(std::string_view storedText) {
    int period = sys::ToInt(storedText);
    return period != 0 && period < kMinimumPeriod ? kMinimumPeriod : period;
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

void RunRotation(const net::MachineIdSource& machineId, const std::function<bool()>& waitOneSecond,
                 uint32_t seed) {
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
                net::SendKeepAlive();
                break;
            case RotationSend::Change:
                net::SendChangeWallpaperRequest(type, machineId);
                break;
            case RotationSend::Nothing:
                break;
        }
    } while (waitOneSecond());
}

void RotationLoop(const net::MachineIdSource& machineId) {
    auto now = std::chrono::system_clock::now().time_since_epoch().count();
    RunRotation(
        machineId, [] { return sys::DelayWithMessages(1000); }, static_cast<uint32_t>(now));
}

void StartRotationThread(net::MachineIdSource machineId) {
    // Nothing may unwind out of a thread's entry; rotation then simply stops. Without a thread
    // the program runs on, without rotation.
    try {
        std::thread([id = std::move(machineId)] {
            osthread::RunGuarded("rotation", [&] { RotationLoop(id); });
        }).detach();
    } catch (const std::system_error&) {
    }
}

}  // namespace wallpaper
