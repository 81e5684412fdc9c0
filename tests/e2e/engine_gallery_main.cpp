// Shows the engine's controls with content in them, for the screenshot run: the main window
// with a page of previews and the loading picture, the detail window with a picture, the
// download window with progress and the node window with rows. No server is involved; the
// previews are the picture files named on the command line. Runs until it is ended.
#include <windows.h>

#include <fstream>
#include <iterator>

#include "app/window_designs.h"
#include "core/builtin_images.h"
#include "ui/win32_engine.h"

namespace {

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Ignore(const ui::Event&) { return true; }

}  // namespace

int main(int argc, char** argv) {
    ui::EnableDpiAwareness();
    ui::Win32Engine engine;
    using core::WindowKind;
    ui::WindowId main = engine.CreateWindowFrom(app::DesignOf(core::WindowKind::Main), Ignore);
    ui::ControlId list = engine.FindControl(main, "最新壁纸");
    ui::ImageId button = engine.LoadImageEx(core::UseButtonPng(), 63, 30);
    engine.InsertElem(list, 1);
    engine.SetElemImageAttribute(list, 1, [](int, int) {}, {235, 125, 60, 30});
    engine.LockUpdate(list);
    for (int i = 0; i < 14; ++i) {
        std::string bytes = argc > 1 ? ReadFile(argv[1 + i % (argc - 1)]) : std::string();
        ui::ImageId preview = engine.LoadImageEx(bytes, 296, 156);
        engine.InsertIcoItem(list, -1, i == 6 ? 0 : preview, "");
        engine.SetElemImageData(list, 1, i, button);
        engine.DestroyImage(preview);
    }
    engine.UnlockUpdate(list);
    engine.SetInt(engine.FindControl(main, "加载图片"), ui::attr::kLeft, 520);
    engine.SetText(engine.FindControl(main, "编辑框EX1"), ui::attr::kText, "1");
    engine.SetText(engine.FindControl(main, "标签EX1"), ui::attr::kCaption, "共12页");

    ui::WindowDesign detailDesign = app::DesignOf(core::WindowKind::Detail);
    detailDesign.visible = true;
    ui::WindowId detail = engine.CreateWindowFrom(detailDesign, Ignore);
    if (argc > 1) engine.SetPicture(engine.FindControl(detail, "图片框EX1"), ReadFile(argv[1]));
    engine.SetText(engine.FindControl(detail, "标签EX1"), ui::attr::kCaption, "山间晨雾 · 3840 × 2160");
    engine.SetText(engine.FindControl(detail, "标签EX3"), ui::attr::kCaption, "1024 次");
    engine.SetText(engine.FindControl(detail, "标签EX4"), ui::attr::kCaption, "87 次");
    engine.SetText(engine.FindControl(detail, "标签EX5"), ui::attr::kCaption,
                   "清晨的山谷被薄雾笼罩，远处的山峰在阳光下若隐若现。");
    engine.SetText(engine.FindControl(detail, "标签EX6"), ui::attr::kCaption, "4K风景");

    ui::WindowDesign downloadDesign = app::DesignOf(core::WindowKind::Download);
    downloadDesign.visible = true;
    ui::WindowId download = engine.CreateWindowFrom(downloadDesign, Ignore);
    engine.SetInt(engine.FindControl(download, "进度条EX1"), ui::attr::kValue, 42);
    engine.SetText(engine.FindControl(download, "标签EX4"), ui::attr::kCaption, "42%");
    engine.SetText(engine.FindControl(download, "标签EX1"), ui::attr::kCaption, "2.1 MB");
    engine.SetText(engine.FindControl(download, "标签EX2"), ui::attr::kCaption, "5.0 MB");
    engine.SetText(engine.FindControl(download, "标签EX3"), ui::attr::kCaption, "860 KB/s");

    ui::WindowId node = engine.CreateWindowFrom(app::DesignOf(core::WindowKind::Node), Ignore);
    ui::ControlId rows = engine.FindControl(node, "超级列表框EX1");
    engine.InsertColumn(rows, -1, "节点名称", 140);
    engine.InsertColumn(rows, -1, "节点赞助", 200);
    engine.InsertColumn(rows, -1, "节点编号", 100);
    engine.InsertColumn(rows, -1, "", 0);
    const char* nodes[][3] = {{"香港服务器", "砚舟 提供服务器支持", "1"}, {"上海服务器", "共享节点", "2"}};
    for (auto& n : nodes) {
        int r = engine.InsertRow(rows, -1);
        for (int col = 0; col < 3; ++col) engine.SetCell(rows, r, col, n[col]);
    }
    // Side by side, so that every window can be photographed whole.
    auto place = [&](ui::WindowId w, int x, int y) {
        HWND h = static_cast<HWND>(engine.NativeWindow(w));
        SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT r;
        GetWindowRect(h, &r);
        return r;
    };
    RECT m = place(main, 0, 0);
    RECT d = place(detail, m.right + 10, 0);
    RECT l = place(download, m.right + 10, d.bottom + 10);
    place(node, l.right + 10, d.bottom + 10);
    return ui::RunMessageLoop();
}
