// How another process finds the running program and speaks to it: the class of the engine's
// windows and the registered messages the main window answers. The installer reads the
// end-now line at build time (installer/CMakeLists.txt), so each stays one plain literal.
#pragma once

namespace ui {

// Every skinned window has this class; the main window's title is the program's name.
inline constexpr wchar_t kSkinWindowClass[] = L"MiaolanSkinWindow";

// Registered with RegisterWindowMessageW. Sent or posted to any of the program's windows, it
// raises EventKind::EndRequested on its main window, which ends the program as a confirmed
// "退出" does. WPARAM names the process meant, or is 0 for whichever receives it: the
// installer broadcasts it with the id of each copy it found by its file, since a search by
// window class loses its place when another program's windows come and go meanwhile.
inline constexpr wchar_t kEndNowMessage[] = L"MiaolanWallpaper.EndNow";

// Registered the same way: raises EventKind::ShowRequested on the main window, which comes
// forward. A second start of the program sends it to the first and ends.
inline constexpr wchar_t kShowMessage[] = L"MiaolanWallpaper.Show";

// The named mutex that marks a running copy; "Local\" makes it one per session.
inline constexpr wchar_t kRunningMutex[] = L"Local\\MiaolanWallpaper.Running";

}  // namespace ui
