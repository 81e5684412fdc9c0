// How another process finds the running program and speaks to it: the class of the engine's
// windows and the registered messages the main window answers. The installer reads these
// lines at build time (installer/CMakeLists.txt), so each stays one plain literal.
#pragma once

namespace ui {

// Every skinned window has this class; the main window's title is the program's name.
inline constexpr wchar_t kSkinWindowClass[] = L"MiaolanSkinWindow";

// Registered with RegisterWindowMessageW. Sent or posted to any of the program's windows, it
// raises EventKind::EndRequested on its main window, which ends the program as a confirmed
// "退出" does.
inline constexpr wchar_t kEndNowMessage[] = L"MiaolanWallpaper.EndNow";

}  // namespace ui
