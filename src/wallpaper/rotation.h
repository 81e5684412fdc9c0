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
    // A change fell due while rotation was paused: it is made at the first pass after.
    bool changeOwed = false;
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
// either way, and no keep-alive goes out on that pass. `paused` (optional) is asked only when
// a change is due: while it says yes, the change is owed and the keep-alives go on.
RotationSend DecideRotationPass(RotationCounters& counters, int periodMinutes,
                                const std::function<int()>& drawInterval,
                                const std::function<bool()>& paused = {});

// What rotation asks of the rest of the program beyond the link; an empty one is "no".
struct RotationHooks {
    // The user's pause choices hold now (asked only when a change is due).
    std::function<bool()> paused;
    // Pictures one change asks for: the monitor count with a picture per monitor, else 1.
    std::function<int()> picturesPerChange;
    // Silent downloads ended so far, whatever their outcome: the next picture of a change is
    // asked for only after the previous one's download ended, since the silent slot takes one
    // at a time.
    std::function<uint64_t()> silentDownloadsEnded;
};

// The loop: pass, send, then `waitOneSecond`, until that returns false. `seed` seeds the
// keep-alive intervals.
void RunRotation(net::Sender& link, const net::MachineIdSource& machineId,
                 const std::function<bool()>& waitOneSecond, uint32_t seed, const RotationHooks& hooks = {});

// The rotation thread, owned: one pass a second from Start until Stop.
class Rotation {
  public:
    Rotation(net::Sender& link, net::MachineIdSource machineId, RotationHooks hooks = {})
        : link_(link), machineId_(std::move(machineId)), hooks_(std::move(hooks)) {}
    // Without a thread the program runs on, without rotation.
    void Start();
    // Ends the loop within a second and joins the thread.
    void Stop();

  private:
    net::Sender& link_;
    const net::MachineIdSource machineId_;
    const RotationHooks hooks_;
    sys::Thread thread_;  // last: it ends before what it uses goes
};

}  // namespace wallpaper
