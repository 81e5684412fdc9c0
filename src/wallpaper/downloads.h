// The two download slots that bring a full-size picture to the desktop: the visible one with
// the progress window ("\壁纸\壁纸.jpg" under the storage folder) and the silent one of the
// rotation ("\壁纸\壁纸1.jpg").
//
// A start is refused while its slot is busy. When the engine reports the end (event 4) the
// picture is applied, if every byte arrived, and the downloaded file is deleted either way;
// the visible slot then stops its progress and hides the download and detail windows.
#pragma once

#include <cstdint>
#include <string>

#include "web/download_engine.h"

namespace wallpaper {

// From the download reply (the receive thread) or anywhere else. True when the engine
// started; false while the slot is busy or when the URL is refused (a control byte, a space,
// a scheme the engine does not speak): then nothing is sent and the desktop keeps its picture.
// The visible slot shows the progress window itself, only for a start it accepts; a refused
// start leaves the window as it was while busy, and hidden otherwise.
bool StartWallpaperDownload(const std::string& url);  // mode "0": the progress window
bool StartSilentDownload(const std::string& url);     // mode "1": no window

// The progress window's timer tick (UI thread): speed, bytes so far, bar and percentage.
// Shows 0 % until the total size is known.
void ShowDownloadProgress();

// The target files, under the storage folder of the moment.
std::string VisibleTarget();
std::string SilentTarget();

// The engine slots, for a caller that must wait for a transfer to end (tests, shutdown).
web::DownloadSlot& VisibleSlot();
web::DownloadSlot& SilentSlot();

// Transfers of the silent slot that have ended so far, applied or not.
uint64_t SilentDownloadsEnded();

}  // namespace wallpaper
