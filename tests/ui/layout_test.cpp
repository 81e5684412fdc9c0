// Where the skin puts things and what a click reaches, checked without a window.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <list>

#include "ui/image_sniff.h"

namespace {

using ui::Kind;
using ui::Rect;
namespace layout = ui::layout;

// Controls with stable addresses, as an engine keeps them.
struct Controls {
    std::list<ui::ControlModel> owned;
    std::vector<ui::ControlModel*> all;

    ui::ControlModel& Add(Kind kind, Rect rect, ui::ControlModel* parent = nullptr) {
        ui::ControlDesign d;
        d.kind = kind;
        d.rect = rect;
        ui::ControlModel& c = owned.emplace_back();
        c.FromDesign(d);
        c.container = parent;
        if (parent) parent->pages.push_back(&c);
        all.push_back(&c);
        return c;
    }
};

ui::WindowDesign Window(bool closeBox, ui::WindowRole role = ui::WindowRole::Dialog) {
    ui::WindowDesign w{"W", "t", 1280, 847, true, closeBox, {}};
    w.role = role;
    return w;
}

TEST(Layout, ItemsSitInCentredColumnsAndScrollWithTheThumb) {
    Controls cs;
    ui::ControlModel& list = cs.Add(Kind::IcoListbox, {4, 57, 1264, 682});
    // Four columns of 296 with gaps of 16 fill 1232 of 1264: 16 either side.
    EXPECT_EQ(layout::ItemRect(list, 0), (Rect{16, 8, 296, 156}));
    EXPECT_EQ(layout::ItemRect(list, 3), (Rect{16 + 3 * 312, 8, 296, 156}));
    EXPECT_EQ(layout::ItemRect(list, 4), (Rect{16, 8 + 172, 296, 156}));
    EXPECT_EQ(layout::ThumbRect(list), Rect{});  // nothing to scroll yet

    for (int i = 0; i < 20; ++i) list.InsertItem(-1, nullptr, "");
    EXPECT_EQ(layout::ContentHeight(list), 8 + 5 * 172);
    EXPECT_EQ(layout::MaxScroll(list), 8 + 5 * 172 - 682);
    Rect thumb = layout::ThumbRect(list);
    EXPECT_EQ(thumb.left, 1264 - 8);
    EXPECT_EQ(thumb.top, 4);
    EXPECT_GE(thumb.height, 40);
    // Dragging the thumb the whole track reaches the end and no further.
    int track = 682 - 8 - thumb.height;
    EXPECT_EQ(layout::ScrollAfterThumbDrag(list, 0, track), layout::MaxScroll(list));
    EXPECT_EQ(layout::ScrollAfterThumbDrag(list, 0, 10 * track), layout::MaxScroll(list));
    EXPECT_EQ(layout::ScrollAfterThumbDrag(list, 50, -1000), 0);
    list.scroll = layout::MaxScroll(list);
    EXPECT_EQ(layout::ThumbRect(list).top + layout::ThumbRect(list).height, 682 - 4);
    EXPECT_EQ(layout::ItemRect(list, 0).top, 8 - list.scroll);
    EXPECT_EQ(layout::WheelStep(-120), 86);
}

TEST(Layout, PagesAreShownInsideTheirContainerOnlyWhenCurrent) {
    Controls cs;
    ui::ControlModel& tabs = cs.Add(Kind::Selectthefolder, {2, 61, 1276, 740});
    ui::ControlModel& p0 = cs.Add(Kind::IcoListbox, {4, 57, 1264, 682}, &tabs);
    ui::ControlModel& p1 = cs.Add(Kind::IcoListbox, {4, 57, 1264, 682}, &tabs);
    EXPECT_EQ(layout::AbsoluteRect(p1), (Rect{6, 118, 1264, 682}));
    EXPECT_TRUE(layout::Shown(p0));
    EXPECT_FALSE(layout::Shown(p1));
    tabs.SetInt(ui::attr::kValue, 1);
    EXPECT_TRUE(layout::Shown(p1));
    tabs.visible = false;
    EXPECT_FALSE(layout::Shown(p1));
    EXPECT_EQ(layout::TabHeader(2), (Rect{16 + 2 * 88, 6, 88, 47}));
}

TEST(Layout, ClicksReachTheTopmostControlThatAnswersTheMouse) {
    Controls cs;
    ui::ControlModel& tabs = cs.Add(Kind::Selectthefolder, {2, 61, 1276, 740});
    ui::ControlModel& page = cs.Add(Kind::IcoListbox, {4, 57, 1264, 682}, &tabs);
    cs.Add(Kind::IcoListbox, {4, 57, 1264, 682}, &tabs);
    ui::ControlModel& label = cs.Add(Kind::Label, {600, 20, 100, 20});
    ui::ControlModel& under = cs.Add(Kind::Button, {100, 10, 50, 30});
    ui::ControlModel& over = cs.Add(Kind::Button, {120, 10, 50, 30});
    ui::WindowDesign w = Window(true);

    EXPECT_EQ(layout::HitTest(w, cs.all, 125, 20).control, &over);
    EXPECT_EQ(layout::HitTest(w, cs.all, 105, 20).control, &under);
    over.visible = false;
    EXPECT_EQ(layout::HitTest(w, cs.all, 125, 20).control, &under);
    EXPECT_EQ(layout::HitTest(w, cs.all, 610, 25).control, nullptr);  // labels let it through
    (void)label;
    EXPECT_TRUE(layout::HitTest(w, cs.all, 1280 - 20, 15).close);
    EXPECT_FALSE(layout::HitTest(Window(false), cs.all, 1280 - 20, 15).close);

    // The strip's headers belong to the container, the page area to the page on show.
    layout::Hit header = layout::HitTest(w, cs.all, 2 + 16 + 88 + 10, 61 + 20);
    EXPECT_EQ(header.control, &tabs);
    EXPECT_EQ(header.part, 1);
    EXPECT_EQ(layout::HitTest(w, cs.all, 2 + 16 + 7 * 88 + 10, 61 + 20).control, nullptr);

    ui::ImageRef picture = std::make_shared<ui::ImageData>();
    for (int i = 0; i < 20; ++i) page.InsertItem(-1, picture, "");
    page.InsertElem(1);
    page.InsertElem(2);
    page.SetElemAttribute(1, nullptr, {200, 100, 60, 30});
    page.SetElemAttribute(2, nullptr, {220, 110, 60, 30});  // overlaps kind 1
    Rect item5 = layout::ItemRect(page, 5);
    Rect base = layout::AbsoluteRect(page);
    auto at = [&](int x, int y) {
        return layout::HitTest(w, cs.all, base.left + item5.left + x, base.top + item5.top + y);
    };
    EXPECT_EQ(at(10, 10).part, 5);
    EXPECT_EQ(at(10, 10).elemKind, -1);
    // An element without its picture on this item is no element here.
    EXPECT_EQ(at(205, 105).elemKind, -1);
    page.SetElemImage(1, 5, picture);
    EXPECT_EQ(at(205, 105).elemKind, 1);
    EXPECT_EQ(at(230, 115).elemKind, 1);
    page.SetElemImage(2, 5, picture);
    EXPECT_EQ(at(230, 115).elemKind, 2);  // the higher kind lies above
    EXPECT_TRUE(layout::HitTest(w, cs.all, base.left + 1264 - 3, base.top + 20).thumb);
}

TEST(Layout, TheMainWindowDragsByItsTallerHeader) {
    EXPECT_EQ(layout::DragBandHeight(Window(false, ui::WindowRole::Main)), 60);
    EXPECT_EQ(layout::DragBandHeight(Window(false)), 44);
    EXPECT_EQ(layout::CloseBoxRect(Window(true)), (Rect{1280 - 38, 6, 32, 28}));
    EXPECT_EQ(layout::CloseBoxRect(Window(false)), Rect{});
}

TEST(ImageSniff, ReadsTheSizeFromEachFormatsHeader) {
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string("\0\0\0\x0dIHDR", 8) +
                      std::string("\0\0\x01\x28\0\0\0\x9c", 8) + std::string(5, '\0');
    EXPECT_EQ(ui::SniffImageSize(png), (ui::ImageSize{296, 156}));
    EXPECT_EQ(ui::SniffImageSize(png.substr(0, 20)), ui::ImageSize{});
    std::string emptyPng = png;
    emptyPng[19] = 0;
    emptyPng[18] = 0;
    EXPECT_EQ(ui::SniffImageSize(emptyPng), ui::ImageSize{});
    EXPECT_EQ(ui::SniffImageSize(std::string("GIF89a\x3c\0\x1e\0", 10) + "rest"), (ui::ImageSize{60, 30}));
    std::string bmp = "BM" + std::string(16, '\0') + std::string("\x10\0\0\0\xf8\xff\xff\xff", 8) + "pixels";
    EXPECT_EQ(ui::SniffImageSize(bmp), (ui::ImageSize{16, 8}));  // top-down: negative height
    // JPEG: an APP0 segment, then the frame header with height 156 and width 296.
    std::string jpeg =
        std::string("\xFF\xD8\xFF\xE0\0\x04\0\0", 8) + std::string("\xFF\xC0\0\x11\x08\0\x9c\x01\x28", 9);
    EXPECT_EQ(ui::SniffImageSize(jpeg), (ui::ImageSize{296, 156}));
    EXPECT_EQ(ui::SniffImageSize(jpeg.substr(0, 12)), ui::ImageSize{});
    EXPECT_EQ(ui::SniffImageSize("<html>"), ui::ImageSize{});
}

}  // namespace
