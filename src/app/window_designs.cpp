#include "app/window_designs.h"

#include "core/categories.h"
#include "core/control_names.h"

namespace app {
namespace {

using ui::ControlDesign;
using ui::Kind;
using ui::Rect;
using ui::WindowDesign;

using core::controls::kCloseButton;
namespace mainw = core::controls::main_window;
namespace detailw = core::controls::detail_window;
namespace downloadw = core::controls::download_window;
namespace nodew = core::controls::node_window;
namespace settingsw = core::controls::settings_window;
namespace rotationw = core::controls::rotation_window;
namespace exitw = core::controls::exit_window;
namespace displayw = core::controls::display_window;

// The tab captions, in page order on both strips.
const char* const kSubjects[core::kPagesPerStrip] = {"最新", "风景", "美女", "汽车", "动漫", "游戏", "动物"};

ControlDesign C(const char* name, Kind kind, Rect rect, const char* caption = "", const char* image = "") {
    ControlDesign d;
    d.name = name;
    d.kind = kind;
    d.rect = rect;
    d.caption = caption;
    d.image = image;
    return d;
}

ControlDesign Accent(ControlDesign d) {
    d.accent = true;
    return d;
}

ControlDesign As(ui::Role role, ControlDesign d) {
    d.role = role;
    return d;
}

ControlDesign Tabs(const char* strip, Rect rect) {
    ControlDesign tabs = C(strip, Kind::Selectthefolder, rect);
    const auto lists = core::ListsOf(strip);
    for (int i = 0; i < core::kPagesPerStrip; ++i) {
        // A page's caption is its tab-strip text.
        tabs.pages.push_back(C(lists[i], Kind::IcoListbox, {4, 57, 1264, 682}, kSubjects[i]));
    }
    return tabs;
}

WindowDesign Main() {
    WindowDesign w{"MainWindow", "渺岚壁纸", 1280, 847, true, false, {}};
    w.role = ui::WindowRole::Main;
    auto& c = w.controls;
    c.push_back(C(mainw::kSkin, Kind::WindowEx, {4, 4, 24, 24}, "exui默认窗口皮肤"));
    c.push_back(C(mainw::kLogo, Kind::PictureBox, {8, 10, 120, 40}, "", "logo"));
    c.push_back(C(mainw::kView4K, Kind::Radiobutton, {488, 16, 80, 24}, "", "view_4k"));
    c.push_back(C(mainw::kViewHd, Kind::Radiobutton, {576, 16, 80, 24}, "", "view_hd"));
    c.push_back(C(mainw::kViewDynamic, Kind::Radiobutton, {664, 16, 80, 24}, "", "view_dynamic"));
    c.push_back(C(mainw::kSettings, Kind::Button, {1184, 16, 20, 24}, "", "btn_settings"));
    c.push_back(C(mainw::kMinimize, Kind::Button, {1216, 16, 24, 24}, "", "btn_minimize"));
    c.push_back(As(ui::Role::Close, C(kCloseButton, Kind::Button, {1248, 16, 24, 24}, "", "btn_close")));
    c.push_back(Tabs(core::kStrip4K, {1290, 77, 1276, 740}));
    c.push_back(Tabs(core::kStripHd, {2, 61, 1276, 740}));
    c.push_back(C(mainw::kFirstPage, Kind::Button, {480, 808, 56, 24}, "首页"));
    c.push_back(C(mainw::kPreviousPage, Kind::Button, {544, 808, 56, 24}, "上一页"));
    c.push_back(C(mainw::kPageBox, Kind::Editbox, {608, 808, 24, 24}));
    c.push_back(C(mainw::kNextPage, Kind::Button, {640, 808, 56, 24}, "下一页"));
    c.push_back(C(mainw::kTotalLabel, Kind::Label, {704, 816, 64, 16}, "共0页"));
    c.push_back(C(mainw::kLoading, Kind::PictureBox, {552, 448, 288, 80}, "", "loading"));
    c.push_back(C(mainw::kConnectTimer, Kind::Timer, {}));
    ControlDesign menu = C(mainw::kTrayMenu, Kind::Menu, {});
    menu.items = {"打开", "-", "设置", "显示设置", "下一张壁纸", "上一张壁纸", "-", "退出"};
    c.push_back(menu);
    // The HD view is the one in view at start; its selector shows that.
    for (ControlDesign& d : c)
        if (d.name == mainw::kViewHd) d.value = 1;
    return w;
}

WindowDesign Detail() {
    WindowDesign w{"DetailWindow", "渺岚壁纸_详细描述", 879, 657, false, true, {}};
    auto& c = w.controls;
    c.push_back(As(ui::Role::Title, C(detailw::kTitle, Kind::Label, {8, 8, 88, 16}, "详细描述")));
    c.push_back(As(ui::Role::Preview, C(detailw::kPicture, Kind::PictureBox, {8, 32, 864, 456})));
    c.push_back(C(detailw::kTextLine, Kind::Label, {24, 496, 688, 24}));
    c.push_back(C(detailw::kSizeIcon, Kind::Icon, {24, 520, 24, 24}, "", "ico_size"));
    c.push_back(C(detailw::kSizeLabel, Kind::Label, {48, 520, 112, 24}, "2.52 MB"));
    c.push_back(C(detailw::kFirstCountIcon, Kind::Icon, {200, 520, 24, 24}, "", "ico_views"));
    c.push_back(C(detailw::kFirstCount, Kind::Label, {224, 520, 112, 24}, "0 次"));
    c.push_back(C(detailw::kSecondCountIcon, Kind::Icon, {368, 520, 24, 24}, "", "ico_downloads"));
    c.push_back(C(detailw::kSecondCount, Kind::Label, {392, 520, 112, 24}, "0 次"));
    c.push_back(C(detailw::kTextBlock, Kind::Label, {24, 552, 848, 48}));
    c.push_back(C(detailw::kPathLabel, Kind::Label, {56, 608, 128, 24}));
    c.push_back(C(detailw::kCategoryLabel, Kind::Label, {216, 616, 128, 24}));
    c.push_back(C(detailw::kFavourite, Kind::Button, {648, 616, 104, 32}, "收藏"));
    c.push_back(Accent(C(detailw::kDownload, Kind::Button, {768, 616, 104, 32}, "下载")));
    return w;
}

WindowDesign Download() {
    WindowDesign w{"DownloadWindow", "渺岚壁纸_壁纸下载", 367, 161, false, true, {}};
    auto& c = w.controls;
    c.push_back(As(ui::Role::Title, C(downloadw::kTitle, Kind::Label, {16, 8, 160, 20}, "壁纸下载中")));
    c.push_back(C(downloadw::kNodeLabel, Kind::Label, {8, 40, 160, 16}, "当前节点：香港服务器"));
    c.push_back(
        C(downloadw::kSponsorLabel, Kind::Label, {176, 40, 192, 16}, "节点赞助：砚舟 提供服务器支持"));
    c.push_back(C(downloadw::kProgressBar, Kind::Progressbar, {8, 64, 352, 24}));
    c.push_back(C(downloadw::kProgressText1, Kind::Label, {8, 96, 72, 24}));
    c.push_back(C(downloadw::kProgressText2, Kind::Label, {88, 96, 80, 24}));
    c.push_back(C(downloadw::kProgressText3, Kind::Label, {176, 96, 80, 24}));
    c.push_back(C(downloadw::kProgressText4, Kind::Label, {264, 96, 80, 24}));
    c.push_back(C(downloadw::kChangeNode, Kind::Button, {184, 128, 80, 24}, "更换节点"));
    c.push_back(C(downloadw::kSponsor, Kind::Button, {272, 128, 80, 24}, "节点赞助"));
    c.push_back(C(downloadw::kProgressTimer, Kind::Timer, {}));
    return w;
}

WindowDesign Node() {
    WindowDesign w{"NodeWindow", "渺岚壁纸_节点更换", 491, 254, true, true, {}};
    w.controls.push_back(C(nodew::kNodeList, Kind::SuperListbox, {16, 40, 464, 176}));
    w.controls.push_back(Accent(C(nodew::kConfirm, Kind::Button, {168, 224, 160, 24}, "确定更换节点")));
    return w;
}

WindowDesign Settings() {
    WindowDesign w{"SettingsWindow", "渺岚壁纸_设置", 429, 296, true, false, {}};
    auto& c = w.controls;
    c.push_back(As(ui::Role::Title, C(settingsw::kTitle, Kind::Label, {16, 16, 64, 24}, "设置")));
    c.push_back(As(ui::Role::Close, C(kCloseButton, Kind::Button, {400, 8, 24, 24}, "", "btn_close")));
    std::string bars;
    for (int i = 0; i < 24; ++i) bars += i ? "\r\n|" : "|";
    ControlDesign separator =
        As(ui::Role::Separator, C(settingsw::kSeparator, Kind::TransLabel, {128, 0, 24, 456}));
    separator.caption = bars;
    c.push_back(separator);
    c.push_back(C(settingsw::kGeneralHeading, Kind::Label, {40, 56, 80, 24}, "常用设置"));
    c.push_back(C(settingsw::kAutoStart, Kind::Radiobutton, {144, 56, 88, 26}, "开机自启动"));
    c.push_back(
        C(settingsw::kAutoStartHint, Kind::Label, {144, 88, 264, 24}, "建议开启[自启] 上万张壁纸自动切换"));
    c.push_back(C(settingsw::kNodeHeading, Kind::Label, {40, 120, 80, 24}, "节点切换"));
    c.push_back(C(settingsw::kNodeLabel, Kind::Label, {144, 120, 144, 24}));
    c.push_back(C(settingsw::kChangeNode, Kind::Button, {296, 118, 112, 24}, "修改节点"));
    c.push_back(C(settingsw::kRotationHeading, Kind::Label, {40, 168, 80, 24}, "自动切换"));
    c.push_back(C(settingsw::kOpenRotation, Kind::Button, {144, 168, 136, 26}, "打开自动更换壁纸设置"));
    c.push_back(C(settingsw::kOpenDisplay, Kind::Button, {296, 168, 112, 26}, "显示设置"));
    c.push_back(C(settingsw::kFolderHeading, Kind::Label, {40, 224, 80, 24}, "壁纸存储"));
    c.push_back(C(settingsw::kFolderLabel, Kind::Label, {144, 224, 272, 16}, "当前目录："));
    c.push_back(C(settingsw::kChangeFolder, Kind::Button, {144, 256, 112, 24}, "修改目录"));
    c.push_back(C(settingsw::kOpenFolder, Kind::Button, {296, 256, 112, 24}, "打开文件位置"));
    c.push_back(C(settingsw::kFolderDialog, Kind::CommonDialog, {24, 264, 0, 0}));
    return w;
}

WindowDesign Rotation() {
    // Modal: the modal run shows it once the other windows wait.
    WindowDesign w{"RotationWindow", "渺岚壁纸_自动更换", 429, 193, false, false, {}};
    auto& c = w.controls;
    c.push_back(As(ui::Role::Title, C(rotationw::kTitle, Kind::Label, {16, 16, 144, 24}, "更换壁纸设置")));
    c.push_back(As(ui::Role::Close, C(kCloseButton, Kind::Button, {400, 8, 24, 24}, "", "btn_close")));
    c.push_back(C(rotationw::kCategoryCaption, Kind::Label, {16, 60, 72, 16}, "随机类型："));
    ControlDesign kind = C(rotationw::kCategoryCombo, Kind::Combobox, {88, 56, 88, 26});
    kind.items = {"随机", "4K 壁纸", "超清壁纸"};
    c.push_back(kind);
    c.push_back(C(rotationw::kSubjectCaption, Kind::Label, {184, 60, 72, 16}, "壁纸分类："));
    ControlDesign subject = C(rotationw::kSubjectCombo, Kind::Combobox, {256, 56, 112, 26}, "超清壁纸");
    subject.items = {"全部分类随机"};
    c.push_back(subject);
    c.push_back(C(rotationw::kPeriodCaption, Kind::Label, {40, 100, 45, 16}, "每隔："));
    c.push_back(C(rotationw::kPeriodBox, Kind::Editbox, {88, 96, 40, 24}));
    c.push_back(C(rotationw::kPeriodUnit, Kind::Label, {136, 100, 128, 16}, "分钟更换一次壁纸"));
    c.push_back(
        C(rotationw::kSubjectHint, Kind::Label, {56, 136, 296, 16}, "提示：自定义随机壁纸分类正在开发中"));
    c.push_back(
        C(rotationw::kPeriodHint, Kind::Label, {56, 168, 296, 16}, "提示：每隔0分钟，0代表关闭自动换壁纸"));
    return w;
}

WindowDesign Exit() {
    WindowDesign w{"ExitWindow", "渺岚壁纸_退出", 288, 151, true, true, {}};
    auto& c = w.controls;
    c.push_back(C(exitw::kQuestion, Kind::Label, {8, 56, 272, 40}, "退出无法自动更换壁纸哟！是否退出？"));
    c.push_back(Accent(C(exitw::kConfirm, Kind::Button, {152, 112, 72, 24}, "退出")));
    c.push_back(C(exitw::kCancel, Kind::Button, {56, 112, 72, 24}, "取消"));
    return w;
}

WindowDesign Display() {
    // The settings window's size: opened from it, it covers it whole.
    WindowDesign w{"DisplayWindow", "渺岚壁纸_显示设置", 429, 296, true, false, {}};
    auto& c = w.controls;
    c.push_back(As(ui::Role::Title, C(displayw::kTitle, Kind::Label, {16, 16, 144, 24}, "显示设置")));
    c.push_back(As(ui::Role::Close, C(kCloseButton, Kind::Button, {400, 8, 24, 24}, "", "btn_close")));
    c.push_back(C(displayw::kFitCaption, Kind::Label, {24, 60, 72, 16}, "图片适应："));
    ControlDesign fit = C(displayw::kFitCombo, Kind::Combobox, {96, 56, 112, 26});
    // In the order of wallpaper::Fit.
    fit.items = {"填充", "适应", "拉伸", "居中", "平铺", "跨屏"};
    c.push_back(fit);
    c.push_back(C(displayw::kFitHint, Kind::Label, {24, 92, 384, 16},
                  "提示：拉伸为默认方式；填充会裁去多余部分，适应会留出黑边"));
    c.push_back(C(displayw::kPerMonitor, Kind::Checkbox, {24, 128, 280, 24}, "每个显示器不同壁纸"));
    c.push_back(
        C(displayw::kPauseFullScreen, Kind::Checkbox, {24, 164, 280, 24}, "全屏程序运行时暂停自动更换"));
    c.push_back(C(displayw::kPauseOnBattery, Kind::Checkbox, {24, 200, 280, 24}, "使用电池时暂停自动更换"));
    c.push_back(
        C(displayw::kPauseHint, Kind::Label, {24, 248, 384, 16}, "提示：暂停期间错过的更换，恢复后立即补上"));
    return w;
}

}  // namespace

ui::WindowDesign DesignOf(core::WindowKind kind) {
    switch (kind) {
        case core::WindowKind::Main:
            return Main();
        case core::WindowKind::Detail:
            return Detail();
        case core::WindowKind::Download:
            return Download();
        case core::WindowKind::Node:
            return Node();
        case core::WindowKind::Settings:
            return Settings();
        case core::WindowKind::Rotation:
            return Rotation();
        case core::WindowKind::Exit:
            return Exit();
        case core::WindowKind::Display:
            return Display();
    }
    return {};
}

}  // namespace app
