// The user's settings: start with Windows, the storage folder and the node, behind the
// settings window, the node window and the node lines of the download window.
//
// The handlers run on the UI thread (RefreshDownloadNodeLabels also on the receive thread).
// What they ask of the system goes through a SettingsSystem, so a refused registry write can
// be made to happen on purpose.
#pragma once

#include <string>

#include "net/replies.h"

namespace wallpaper {

// The two keys that may hold the start-with-Windows value.
enum class RunKey { kMachine, kUser };

class SettingsSystem {
  public:
    virtual ~SettingsSystem() = default;
    // The value "渺岚壁纸" under SOFTWARE\Microsoft\Windows\CurrentVersion\Run of the key's
    // hive; empty when it is absent or cannot be read.
    virtual std::string ReadAutoStart(RunKey key) = 0;
    // Opens the Run key for writing (creating it when it cannot be opened) and writes the
    // value; false when either step fails.
    virtual bool WriteAutoStart(RunKey key, const std::string& command) = 0;
    // False when the value could not be removed (an absent value counts as removed).
    virtual bool RemoveAutoStart(RunKey key) = 0;
    // The program folder, a backslash and the executable's file name.
    virtual std::string ProgramFile() = 0;
    // The system folder dialog with the title and an edit box; the chosen folder or empty.
    virtual std::string BrowseForFolder(const std::string& title) = 0;
    // Opens the folder in the file manager.
    virtual void ExploreFolder(const std::string& folder) = 0;
};

// The system in use: the platform's on Windows; natively one that refuses everything until a
// test installs its own. Not owned; null restores the default.
void UseSettingsSystem(SettingsSystem* system);
SettingsSystem& Settings();

// The value's name under the Run keys.
inline constexpr const char* kAutoStartName = "渺岚壁纸";
// The node shown when Config.ini names none.
inline constexpr const char* kDefaultNodeName = "香港服务器";
inline constexpr const char* kDefaultNodeSponsor = "砚舟 提供服务器支持";
// The contact at the end of the sponsor message: a placeholder number, not a real account.
inline constexpr const char* kSponsorContact = "1234567890";

// True when either Run key holds the value.
bool AutoStartEnabled();

// Settings window.
void SettingsWindowCreated();
// A toggle: writes the value (machine key, else the user's) when neither key holds it,
// removes it from both when one does; then shows the state the keys are in.
void ToggleAutoStart();
void ChangeStorageFolder();
void OpenStorageFolder();

// Node window.
void NodeWindowCreated();
// The row of the node list last chosen; initially 0. Safe from any thread.
void RememberNodeRow(int row);
int RememberedNodeRow();
// Switches to the node of the kept row. Refused (nothing written, nothing shown) when the list
// has no such row or the row carries no node identifier.
void ChangeNode();

// The node list reply: its rows replace those of the open node window (nothing when closed).
void ShowNodeRows(const net::NodeList& list);
// The hello reply's node: name, sponsor and id are written to Config.ini where it holds none
// yet, and the node id in use becomes the one Config.ini then holds.
void TakeNodeFromHello(const net::Hello& hello);

// Download window.
void ShowSponsorNotice();
// 标签EX5 and 标签EX6 from Config.ini, read anew.
void RefreshDownloadNodeLabels();

}  // namespace wallpaper
