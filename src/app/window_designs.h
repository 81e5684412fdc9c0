// The seven windows as design data: names, kinds, rectangles and captions of every control.
#pragma once

#include <string>

#include "ui/engine.h"

namespace app {

enum class WindowKind { Main, Detail, Download, Node, Settings, Rotation, Exit };
constexpr int kWindowKindCount = 7;

ui::WindowDesign DesignOf(WindowKind kind);

// The request category of an icon-list page ("最新4K" -> "4K最新", "最新壁纸" -> "K最新");
// empty for anything else.
std::string CategoryOfList(const std::string& listName);

// The seven page names of a tab container, in page order.
const char* const* PagesOf4K();
const char* const* PagesOfHd();
constexpr int kPagesPerView = 7;

}  // namespace app
