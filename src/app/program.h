// The whole program: built once in main on the UI thread. It owns the packet link with its
// reply dispatch, the browsing state, the notices and rotation, and hands each subsystem what
// it needs; every window event reaches one of its members (event_bindings.cpp), so an event
// without a handler does not build.
#pragma once

#include <cstdint>
#include <string>

#include "core/window_registry.h"
#include "net/browsing.h"
#include "net/link.h"
#include "net/notices.h"
#include "net/replies.h"
#include "net/requests.h"
#include "sys/thread.h"
#include "ui/engine.h"
#include "wallpaper/rotation.h"

namespace app {

// How the process ends: the platform's immediate exit in the program, a recorder in tests.
using ProcessEnder = void (*)(int code);
void EndImmediately(int code);

struct ProgramOptions {
    std::string nodeHost;  // the node: fixed at build time, port 1629
    uint16_t nodePort = 0;
    net::MachineIdSource machineId;
    ProcessEnder ender = &EndImmediately;
};

class Program final : public net::ReplyReceiver, private net::ReplyHandler, private net::ConnectTimer {
  public:
    Program(ui::Engine& engine, ProgramOptions options);
    // Stop().
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Creates the main window; its creation runs the start-up steps: tray icon, settings and
    // folders, the two hidden auxiliary windows, the packet client, the connect timer at
    // 1000 ms, the loading indicator hidden, the rotation thread. Returns the main window.
    ui::WindowId Start();

    // Ends rotation, the notices, the transfers and the connection, and joins their threads.
    // The program itself never calls it: "退出" ends the process at once.
    void Stop();

    // Creates the window of the kind with its event bindings, unless one is open: then the
    // open one is shown and brought to the front. Returns its id.
    ui::WindowId OpenWindow(core::WindowKind kind);

    // Event handlers beyond a single call of a subsystem (the rest are bound directly).
    void RunStartupSteps();
    void ConnectToNode() { link_.Connect(); }
    // kind 1 left button released, 2 double-click, 3 right button released or menu key.
    void OnTrayEvent(int kind);
    // The tray menu's choice: 0 "打开", 2 "设置", 3 "显示设置", 4 "下一张壁纸", 5 "上一张壁纸",
    // 7 "退出" (separators count).
    void OnTrayMenu(int item);
    // "下一张壁纸": the change request rotation sends, now, outside rotation's own timing; the
    // node's answer is an ordinary download reply. Says so when the node is not connected.
    void RequestNextWallpaper();
    // "上一张壁纸": the picture before the current one in the history goes back on the desktop,
    // without the network. Says so when there is none.
    void ShowPreviousWallpaper();
    // A second start of the program asked this copy to come forward.
    void BringMainWindowForward();
    // Modal: returns when the rotation window has closed.
    void OpenRotationWindow();
    // "更换节点" / "修改节点": the node window, then the node list request.
    void OpenNodeWindowAndAskForNodes();
    void SendDetailDownloadRequest();
    // Ends the process at once with exit code 0, after taking the tray icon away.
    void Exit();

    net::Browsing& browsing() { return browsing_; }
    net::Notices& notices() { return notices_; }
    net::Link& link() { return link_; }

    // A packet body as the link delivers it, on the library's worker thread.
    void OnReply(const uint8_t* data, size_t length) override;

  private:
    void OnListPage(const net::ListPage& page) override;
    void OnDetail(const net::Detail& detail) override;
    void OnDownloadOrder(const net::DownloadOrder& order) override;
    void OnHello(const net::Hello& hello) override;
    void OnNodeList(const net::NodeList& list) override;
    void OnNotice(const net::Notice& notice) override;
    // The main window's connect timer 时钟1.
    void SetInterval(int ms) override;

    ui::Engine& engine_;
    const ProgramOptions options_;
    net::Link link_;
    net::Browsing browsing_;
    net::Notices notices_;
    wallpaper::Rotation rotation_;
    // Puts a picture of the history back on the desktop, off the UI thread: decoding and
    // composing a large picture takes a moment.
    sys::Thread stepBack_;
};

}  // namespace app
