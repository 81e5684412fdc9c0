#include "app/packet_link.h"

#include "app/handlers.h"
#include "app/startup.h"
#include "core/settings.h"
#include "net/link.h"

namespace app {

void InstallPacketLink() {
    Handlers& h = InstalledHandlers();
    h.StartPacketClient = [] {
        // The link re-arms the main window's 时钟1, from its worker threads too.
        net::SetConnectTimer(&MainConnectTimer());
        net::SetConnectionTarget(core::NodeHost(), static_cast<uint16_t>(core::kNodePort));
        net::SetUpPackClient();
    };
    h.ConnectToNode = [] { net::ConnectToNode(); };
}

}  // namespace app
