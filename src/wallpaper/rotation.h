// Automatic rotation: a thread that, once a second for the life of the process, asks the node
// for a new wallpaper when the chosen period has passed and sends keep-alives in between.
//
// The node answers a change request with an ordinary reply; a download reply applies the
// picture without any window. The settings are read anew on every pass, so the rotation
// window's changes take effect within a second.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "net/requests.h"

namespace wallpaper {

// The rotation thread's own state; nothing of it outlives the process.
struct RotationCounters {
    int64_t sinceChange = 0;
    int64_t sinceKeepAlive = 0;
    int keepAliveInterval = 1;  // seconds, 1 to 60
};

enum class RotationSend { Nothing, KeepAlive, Change };

// The stored "周期" as minutes: its integer value (optional sign, leading digits, 0 when
// none). A period below 5 other than 0, which the rotation window never stores but an edited
// or older file may hold, counts as 5 minutes: the node asks for no more than that, and a
// negative one read literally would ask for a new wallpaper on every pass.
int RotationPeriodMinutes(std::string_view storedText);

// Seconds between change requests: period × 60 + 5.
int64_t RotationLimitSeconds(int periodMinutes);

// One pass over the counters: both advance by a second, then what to send is decided and the
// counters are updated. `drawInterval` gives the next keep-alive interval after a keep-alive.
// A change request goes out only when the period is not 0, but the change counter restarts
// either way, and no keep-alive goes out on that pass.
RotationSend DecideRotationPass(RotationCounters& counters, int periodMinutes,
                                const std::function<int()>& drawInterval);

// The loop: pass, send, then `waitOneSecond`, until that returns false. `seed` seeds the
// keep-alive intervals. Sends through the process-wide packet client.
void RunRotation(const net::MachineIdSource& machineId, const std::function<bool()>& waitOneSecond,
                 uint32_t seed);

// The thread's body: RunRotation seeded from the clock, waiting with the message-pumping
// wait. Never returns.
void RotationLoop(const net::MachineIdSource& machineId);

// Starts RotationLoop on its own thread, which runs until the process ends.
void StartRotationThread(net::MachineIdSource machineId);

}  // namespace wallpaper
