#include "app/packet_link.h"

#include "app/connect_timer.h"
#include "app/handlers.h"
#include "app/settings.h"
#include "net/link.h"

namespace app {
namespace {

// The link re-arms the main window's 时钟1 through this, from its worker threads too.
class LinkTimer : public net::ConnectTimer {
  public:
    void SetInterval(int ms) override { MainConnectTimer().SetInterval(ms); }
};

}  // namespace

void InstallPacketLink() {
    Handlers& h = InstalledHandlers();
    h.StartPacketClient = [] {
        static LinkTimer timer;
        net::SetConnectTimer(&timer);
        net::SetConnectionTarget(NodeHost(), static_cast<uint16_t>(kNodePort));
        net::SetUpPackClient();
    };
    h.ConnectToNode = [] { net::ConnectToNode(); };
}

}  // namespace app
