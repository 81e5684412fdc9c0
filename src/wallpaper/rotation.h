// Automatic rotation: a thread that, once a second while the program runs, asks the node
// for a new wallpaper when the chosen period has passed and sends keep-alives in between.
//
// The node answers a change request with an ordinary reply; a download reply applies the
// picture without any window. The settings are read anew on every pass, so the rotation
// window's changes take effect within a second.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "net/link.h"
#include "net/requests.h"
#include "sys/thread.h"

namespace wallpaper {

// The rotation thread's own state; nothing of it outlives the process.
struct RotationCounters {
    int64_t sinceChange = 0;
    int64_t sinceKeepAlive = 0;
    int keepAliveInterval = 1;  // seconds, 1 to 60
};

enum class RotationSend { Nothing, KeepAlive, Change };

// The stored "周期" as minutes: its integer value (optional sign, leading digits, 0 when
// none). A negative period, which the rotation window never stores, counts as 5 minutes: read
// literally it would ask for a new wallpaper on every pass. 1 to 4, which the window refuses
// but a file written by hand may hold, are kept as written.
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
// keep-alive intervals.
void RunRotation(net::Sender& link, const net::MachineIdSource& machineId,
                 const std::function<bool()>& waitOneSecond, uint32_t seed);

// The rotation thread, owned: one pass a second from Start until Stop.
class Rotation {
  public:
    Rotation(net::Sender& link, net::MachineIdSource machineId)
        : link_(link), machineId_(std::move(machineId)) {}
    // Without a thread the program runs on, without rotation.
    void Start();
    // Ends the loop within a second and joins the thread.
    void Stop();

  private:
    net::Sender& link_;
    const net::MachineIdSource machineId_;
    sys::Thread thread_;  // last: it ends before what it uses goes
};

}  // namespace wallpaper
