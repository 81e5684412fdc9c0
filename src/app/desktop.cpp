#include "app/desktop.h"

#include "app/handlers.h"
#include "wallpaper/downloads.h"
#include "wallpaper/user_settings.h"

namespace app {

void InstallDesktopAndSettings() {
    Handlers& h = InstalledHandlers();
    h.ShowDownloadProgress = [] { wallpaper::ShowDownloadProgress(); };
    h.ShowSponsorNotice = [] { wallpaper::ShowSponsorNotice(); };
    h.NodeWindowCreated = [] { wallpaper::NodeWindowCreated(); };
    h.ChangeNode = [] { wallpaper::ChangeNode(); };
    h.SettingsWindowCreated = [] { wallpaper::SettingsWindowCreated(); };
    h.ToggleAutoStart = [] { wallpaper::ToggleAutoStart(); };
    h.ChangeStorageFolder = [] { wallpaper::ChangeStorageFolder(); };
    h.OpenStorageFolder = [] { wallpaper::OpenStorageFolder(); };
}

}  // namespace app
