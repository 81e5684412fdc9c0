#include "app/event_bindings.h"

#include "app/shell.h"
#include "core/categories.h"
#include "core/control_names.h"
#include "core/window_registry.h"
#include "wallpaper/display_window.h"
#include "wallpaper/downloads.h"
#include "wallpaper/rotation_window.h"
#include "wallpaper/user_settings.h"

namespace app {
namespace {

using namespace core::controls;

using ui::Event;
using ui::EventKind;

bool IsClick(const Event& e, const std::string& name, const char* wanted) {
    return e.kind == EventKind::Click && name == wanted;
}

// Every window: its identity is taken when it is created and dropped when it goes.
bool Common(core::WindowKind kind, const Event& e) {
    if (e.kind == EventKind::Created) core::RememberWindow(kind, e.window);
    if (e.kind == EventKind::Destroying) core::ForgetWindow(e.window);
    return true;
}

bool MainEvents(Program& p, const Event& e) {
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Main, e);
        p.RunStartupSteps();
        return true;
    }
    if (e.kind == EventKind::Tray) {
        p.OnTrayEvent(e.value);
        return true;
    }
    if (e.kind == EventKind::EndRequested) {
        p.Exit();  // another process asked, e.g. the uninstaller
        return true;
    }
    if (e.kind == EventKind::ShowRequested) {
        p.BringMainWindowForward();  // the program was started again
        return true;
    }
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
    net::Browsing& browsing = p.browsing();
    const std::string name = core::Ui().ControlName(e.control);
    if (e.kind == EventKind::Tick && name == main_window::kConnectTimer)
        p.ConnectToNode();
    else if (e.kind == EventKind::MenuChosen && name == main_window::kTrayMenu)
        p.OnTrayMenu(e.value);
    else if (IsClick(e, name, main_window::kView4K))
        browsing.Show4KView();
    else if (IsClick(e, name, main_window::kViewHd))
        browsing.ShowHdView();
    else if (IsClick(e, name, main_window::kViewDynamic))
        ShowDynamicWallpaperNotice();
    else if (IsClick(e, name, kCloseButton))
        HideMainWindow();
    else if (IsClick(e, name, main_window::kMinimize))
        MinimizeMainWindow();
    else if (IsClick(e, name, main_window::kSettings))
        p.OpenWindow(core::WindowKind::Settings);
    else if (e.kind == EventKind::PageChanged && (name == core::kStrip4K || name == core::kStripHd))
        browsing.SelectCategoryTab(name, e.value);
    else if (e.kind == EventKind::ItemChosen) {
        // Every list opens the details of its items, the HD car page included: users expect
        // its items to behave like those of the thirteen other lists.
        if (const core::Category* category = core::CategoryOfList(name))
            browsing.SendDetailRequestFor(category->name, e.value);
    } else if (IsClick(e, name, main_window::kFirstPage))
        browsing.FirstPage();
    else if (IsClick(e, name, main_window::kPreviousPage))
        browsing.PreviousPage();
    else if (IsClick(e, name, main_window::kNextPage))
        browsing.NextPage();
    return true;
}

bool DetailEvents(Program& p, const Event& e) {
    if (e.kind == EventKind::CloseRequested) return HideDetailWindow();
    if (e.kind == EventKind::Created || e.kind == EventKind::Destroying)
        return Common(core::WindowKind::Detail, e);
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, detail_window::kFavourite))
        ShowFavouriteNotice();
    else if (IsClick(e, name, detail_window::kDownload))
        p.SendDetailDownloadRequest();
    return true;
}

bool DownloadEvents(Program& p, const Event& e) {
    if (e.kind == EventKind::CloseRequested) return HideDownloadWindow();
    if (e.kind == EventKind::Created || e.kind == EventKind::Destroying)
        return Common(core::WindowKind::Download, e);
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, download_window::kChangeNode))
        p.OpenNodeWindowAndAskForNodes();
    else if (IsClick(e, name, download_window::kSponsor))
        wallpaper::ShowSponsorNotice();
    else if (e.kind == EventKind::Tick && name == download_window::kProgressTimer)
        wallpaper::ShowDownloadProgress();
    return true;
}

bool NodeEvents(Program&, const Event& e) {
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Node, e);
        wallpaper::NodeWindowCreated();
        return true;
    }
    if (e.kind == EventKind::Destroying) return Common(core::WindowKind::Node, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (e.kind == EventKind::RowChosen && name == node_window::kNodeList)
        wallpaper::RememberNodeRow(e.value);
    else if (IsClick(e, name, node_window::kConfirm))
        wallpaper::ChangeNode();
    return true;
}

bool SettingsEvents(Program& p, const Event& e) {
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Settings, e);
        wallpaper::SettingsWindowCreated();
        return true;
    }
    if (e.kind == EventKind::Destroying) return Common(core::WindowKind::Settings, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, settings_window::kAutoStart))
        wallpaper::ToggleAutoStart();
    else if (IsClick(e, name, settings_window::kChangeNode))
        p.OpenNodeWindowAndAskForNodes();
    else if (IsClick(e, name, settings_window::kOpenRotation))
        p.OpenRotationWindow();
    else if (IsClick(e, name, settings_window::kOpenDisplay))
        p.OpenWindow(core::WindowKind::Display);
    else if (IsClick(e, name, settings_window::kChangeFolder))
        wallpaper::ChangeStorageFolder();
    else if (IsClick(e, name, settings_window::kOpenFolder))
        wallpaper::OpenStorageFolder();
    else if (IsClick(e, name, kCloseButton))
        CloseSettingsWindow();
    return true;
}

bool RotationEvents(Program&, const Event& e) {
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Rotation, e);
        wallpaper::ShowRotationSettings();
        return true;
    }
    if (e.kind == EventKind::Destroying) return Common(core::WindowKind::Rotation, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (e.kind == EventKind::TextChanged && name == rotation_window::kPeriodBox)
        wallpaper::StoreRotationPeriod();
    else if (e.kind == EventKind::SelectionChanged && name == rotation_window::kCategoryCombo)
        wallpaper::StoreRotationType(e.value);
    else if (IsClick(e, name, kCloseButton))
        CloseRotationWindow();
    return true;
}

bool DisplayEvents(Program&, const Event& e) {
    if (e.kind == EventKind::Created) {
        Common(core::WindowKind::Display, e);
        wallpaper::ShowDisplaySettings();
        return true;
    }
    if (e.kind == EventKind::Destroying) return Common(core::WindowKind::Display, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, kCloseButton))
        CloseDisplayWindow();
    else if ((e.kind == EventKind::SelectionChanged && name == display_window::kFitCombo) ||
             (e.kind == EventKind::Click &&
              (name == display_window::kPerMonitor || name == display_window::kPauseFullScreen ||
               name == display_window::kPauseOnBattery)))
        wallpaper::StoreDisplaySettings();
    return true;
}

bool ExitEvents(Program& p, const Event& e) {
    if (e.kind == EventKind::Created || e.kind == EventKind::Destroying)
        return Common(core::WindowKind::Exit, e);
    if (e.kind == EventKind::CloseRequested) return true;
    const std::string name = core::Ui().ControlName(e.control);
    if (IsClick(e, name, exit_window::kConfirm))
        p.Exit();
    else if (IsClick(e, name, exit_window::kCancel))
        CloseExitWindow();
    return true;
}

}  // namespace

ui::EventHandler BindingsFor(core::WindowKind kind, Program& program) {
    using Events = bool (*)(Program&, const Event&);
    Events events = nullptr;
    switch (kind) {
        case core::WindowKind::Main:
            events = MainEvents;
            break;
        case core::WindowKind::Detail:
            events = DetailEvents;
            break;
        case core::WindowKind::Download:
            events = DownloadEvents;
            break;
        case core::WindowKind::Node:
            events = NodeEvents;
            break;
        case core::WindowKind::Settings:
            events = SettingsEvents;
            break;
        case core::WindowKind::Rotation:
            events = RotationEvents;
            break;
        case core::WindowKind::Exit:
            events = ExitEvents;
            break;
        case core::WindowKind::Display:
            events = DisplayEvents;
            break;
    }
    return [events, &program](const Event& e) { return events(program, e); };
}

}  // namespace app
