#include "app/event_bindings.h"

#include "app/handlers.h"
#include "app/shell.h"
#include "app/startup.h"
#include "app/window_designs.h"
#include "core/categories.h"
#include "core/control_names.h"
#include "core/window_registry.h"
#include "wallpaper/user_settings.h"

namespace app {
namespace {

using namespace core::controls;

using ui::Event;
using ui::EventKind;

template <typename F, typename... A>
void Run(const F& handler, A&&... args) {
    if (handler) handler(std::forward<A>(args)...);
}

bool IsClick(const Event& e, const std::string& name, const char* wanted) {
    return e.kind == EventKind::Click && name == wanted;
}

// Every window: its identity is taken when it is created and dropped when it goes.
bool Common(core::WindowKind kind, const Event& e) {
    if (e.kind == EventKind::Created) core::RememberWindow(kind, e.window);
    if (e.kind == EventKind::Destroying) core::ForgetWindow(e.window);
    return true;
}

bool MainEvents(const Event& e) {
    Handlers& h = InstalledHandlers();
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Main, e);
        RunStartupSteps();
        return true;
    }
    if (e.kind == EventKind::Tray) {
        OnTrayEvent(e.value);
        return true;
    }
    if (e.kind == EventKind::EndRequested) ExitProgram();  // another process, e.g. the uninstaller
    if (e.kind == EventKind::Destroying) {
        RemoveTrayIcon();
        Common(core::WindowKind::Main, e);
        return true;
    }
    if (e.kind == EventKind::CloseRequested) {
        // The main window hides to the notification area instead of closing.
        HideMainWindow();
        return false;
    }
    const std::string name = core::Ui().ControlName(e.control);
    if (e.kind == EventKind::Tick && name == main_window::kConnectTimer)
        Run(h.ConnectToNode);
    else if (e.kind == EventKind::MenuChosen && name == main_window::kTrayMenu)
        OnTrayMenu(e.value);
    else if (IsClick(e, name, main_window::kView4K))
        Run(h.Show4KView);
    else if (IsClick(e, name, main_window::kViewHd))
        Run(h.ShowHdView);
    else if (IsClick(e, name, main_window::kViewDynamic))
        ShowDynamicWallpaperNotice();
    else if (IsClick(e, name, kCloseButton))
        HideMainWindow();
    else if (IsClick(e, name, "destroy1"))
        MinimizeMainWindow();
    else if (IsClick(e, name, "destroy2"))
        OpenSettingsWindow();
    else if (e.kind == EventKind::PageChanged && (name == core::kStrip4K || name == core::kStripHd))
        Run(h.SelectCategoryTab, name, e.value);
    else if (e.kind == EventKind::ItemChosen) {
        // Every list opens the details of its items, the HD car page included: users expect
        // its items to behave like those of the thirteen other lists.
        if (const core::Category* category = core::CategoryOfList(name))
            Run(h.SendDetailRequest, category->name, e.value);
    } else if (IsClick(e, name, main_window::kFirstPage))
        Run(h.FirstPage);
    else if (IsClick(e, name, main_window::kPreviousPage))
        Run(h.PreviousPage);
    else if (IsClick(e, name, main_window::kNextPage))
        Run(h.NextPage);
    return true;
}

bool DetailEvents(const Event& e) {
    if (e.kind == EventKind::CloseRequested) return HideDetailWindow();
    if (e.kind == EventKind::Created || e.kind == EventKind::Destroying)
        return Common(core::WindowKind::Detail, e);
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, detail_window::kFavourite))
        ShowFavouriteNotice();
    else if (IsClick(e, name, detail_window::kDownload))
        Run(InstalledHandlers().SendDetailDownloadRequest);
    return true;
}

bool DownloadEvents(const Event& e) {
    Handlers& h = InstalledHandlers();
    if (e.kind == EventKind::CloseRequested) return HideDownloadWindow();
    if (e.kind == EventKind::Created || e.kind == EventKind::Destroying)
        return Common(core::WindowKind::Download, e);
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, download_window::kChangeNode)) {
        OpenNodeWindow();
        Run(h.SendNodeListRequest);
    } else if (IsClick(e, name, download_window::kSponsor))
        Run(h.ShowSponsorNotice);
    else if (e.kind == EventKind::Tick && name == download_window::kProgressTimer)
        Run(h.ShowDownloadProgress);
    return true;
}

bool NodeEvents(const Event& e) {
    Handlers& h = InstalledHandlers();
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Node, e);
        Run(h.NodeWindowCreated);
        return true;
    }
    if (e.kind == EventKind::Destroying) return Common(core::WindowKind::Node, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (e.kind == EventKind::RowChosen && name == node_window::kNodeList)
        wallpaper::RememberNodeRow(e.value);
    else if (IsClick(e, name, node_window::kConfirm))
        Run(h.ChangeNode);
    return true;
}

bool SettingsEvents(const Event& e) {
    Handlers& h = InstalledHandlers();
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Settings, e);
        Run(h.SettingsWindowCreated);
        return true;
    }
    if (e.kind == EventKind::Destroying) return Common(core::WindowKind::Settings, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, settings_window::kAutoStart))
        Run(h.ToggleAutoStart);
    else if (IsClick(e, name, settings_window::kChangeNode)) {
        OpenNodeWindow();
        Run(h.SendNodeListRequest);
    } else if (IsClick(e, name, settings_window::kOpenRotation))
        OpenRotationWindow();
    else if (IsClick(e, name, settings_window::kChangeFolder))
        Run(h.ChangeStorageFolder);
    else if (IsClick(e, name, settings_window::kOpenFolder))
        Run(h.OpenStorageFolder);
    else if (IsClick(e, name, kCloseButton))
        CloseSettingsWindow();
    return true;
}

bool RotationEvents(const Event& e) {
    Handlers& h = InstalledHandlers();
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Rotation, e);
        Run(h.RotationWindowCreated);
        return true;
    }
    if (e.kind == EventKind::Destroying) return Common(core::WindowKind::Rotation, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (e.kind == EventKind::TextChanged && name == rotation_window::kPeriodBox)
        Run(h.RotationPeriodChanged);
    else if (e.kind == EventKind::SelectionChanged && name == rotation_window::kCategoryCombo)
        Run(h.RotationCategoryChanged, e.value);
    else if (IsClick(e, name, kCloseButton))
        CloseRotationWindow();
    return true;
}

bool ExitEvents(const Event& e) {
    if (e.kind == EventKind::Created || e.kind == EventKind::Destroying)
        return Common(core::WindowKind::Exit, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, exit_window::kConfirm))
        ExitProgram();
    else if (IsClick(e, name, exit_window::kCancel))
        CloseExitWindow();
    return true;
}

}  // namespace

ui::EventHandler BindingsFor(core::WindowKind kind) {
    switch (kind) {
        case core::WindowKind::Main:
            return MainEvents;
        case core::WindowKind::Detail:
            return DetailEvents;
        case core::WindowKind::Download:
            return DownloadEvents;
        case core::WindowKind::Node:
            return NodeEvents;
        case core::WindowKind::Settings:
            return SettingsEvents;
        case core::WindowKind::Rotation:
            return RotationEvents;
        case core::WindowKind::Exit:
            return ExitEvents;
    }
    return {};
}

ui::WindowId OpenWindow(core::WindowKind kind) {
    ui::WindowId open = core::WindowOf(kind);
    if (open != 0 && core::Ui().WindowExists(open)) {
        core::Ui().ShowWindow(open, true);
        core::Ui().BringToFront(open);
        return open;
    }
    // The identity is taken in the creation event, so the creation handler already finds it.
    return core::Ui().CreateWindowFrom(DesignOf(kind), BindingsFor(kind));
}

}  // namespace app
