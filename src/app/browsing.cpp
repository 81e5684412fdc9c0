#include "app/browsing.h"

#include "app/handlers.h"
#include "core/control_names.h"
#include "core/window_registry.h"
#include "net/browsing.h"
#include "net/dispatch.h"
#include "net/link.h"
#include "net/requests.h"
#include "wallpaper/category_list.h"
#include "wallpaper/downloads.h"
#include "wallpaper/machine_id.h"

namespace app {

void InstallBrowsing() {
    net::DispatchActions actions;
    actions.fillList = wallpaper::FillCategoryList;
    actions.startVisibleDownload = [](const std::string& url) { wallpaper::StartWallpaperDownload(url); };
    actions.startSilentDownload = [](const std::string& url) { wallpaper::StartSilentDownload(url); };
    net::SetDispatchActions(std::move(actions));
    net::SetReplySink(net::DispatchReply);

    Handlers& h = InstalledHandlers();
    h.Show4KView = net::Show4KView;
    h.ShowHdView = net::ShowHdView;
    h.SelectCategoryTab = [](const std::string& strip, int page) { net::SelectCategoryTab(strip, page); };
    h.SendDetailRequest = [](const std::string& category, int position) {
        net::SendDetailRequestFor(category, position);
    };
    h.FirstPage = net::FirstPage;
    h.PreviousPage = net::PreviousPage;
    h.NextPage = net::NextPage;
    h.SendDetailDownloadRequest = [] {
        namespace dw = core::controls::detail_window;
        auto label = [](const char* name) {
            return core::Ui().GetText(core::ControlOf(core::WindowKind::Detail, name), ui::attr::kCaption);
        };
        net::SendDetailDownloadRequest(label(dw::kCategoryLabel), label(dw::kPathLabel),
                                       wallpaper::MachineIdentifier);
    };
}

}  // namespace app
