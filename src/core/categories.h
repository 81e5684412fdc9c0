// The fourteen categories: the name sent in requests and used to route list replies, the tab
// strip and page position that show it, its list control, and its page-memo slot.
#pragma once

#include <array>
#include <string_view>

namespace core {

struct Category {
    const char* name;   // "4K最新" ... "K动物": request text and reply key
    const char* strip;  // 静态4K or 静态壁纸
    int position;       // page of the strip, 0..6
    const char* list;   // the icon list on that page
    int memoSlot;       // 0..6 for the 4K strip, 20..26 for the HD strip
};

inline constexpr int kCategoryCount = 14;
inline constexpr int kPagesPerStrip = 7;
inline constexpr int kPageMemoSlots = 50;

inline constexpr const char* kStrip4K = "静态4K";
inline constexpr const char* kStripHd = "静态壁纸";

// In the order list replies are matched: the 4K strip's seven, then the HD strip's.
const std::array<Category, kCategoryCount>& Categories();

// The row with that request name, list name, or strip and position; null when there is none.
const Category* CategoryNamed(std::string_view name);
const Category* CategoryOfList(std::string_view listName);
const Category* CategoryAt(std::string_view strip, int position);

// The memo slot of a strip page: the position for the 4K strip, 20 + position for the HD one.
int MemoSlotOf(std::string_view strip, int position);

// The seven list names of a strip, in page order (the window design builds its pages from it).
std::array<const char*, kPagesPerStrip> ListsOf(std::string_view strip);

}  // namespace core
