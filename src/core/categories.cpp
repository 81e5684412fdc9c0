#include "core/categories.h"

namespace core {
namespace {

constexpr std::array<Category, kCategoryCount> kTable = {{
    {"4K最新", kStrip4K, 0, "最新4K", 0},
    {"4K风景", kStrip4K, 1, "风景4K", 1},
    {"4K美女", kStrip4K, 2, "美女4K", 2},
    {"4K汽车", kStrip4K, 3, "汽车4K", 3},
    {"4K动漫", kStrip4K, 4, "动漫4K", 4},
    {"4K游戏", kStrip4K, 5, "游戏4K", 5},
    {"4K动物", kStrip4K, 6, "动物4K", 6},
    {"K最新", kStripHd, 0, "最新壁纸", 20},
    {"K风景", kStripHd, 1, "风景壁纸", 21},
    {"K美女", kStripHd, 2, "美女壁纸", 22},
    {"K汽车", kStripHd, 3, "汽车壁纸", 23},
    {"K动漫", kStripHd, 4, "动漫壁纸", 24},
    {"K游戏", kStripHd, 5, "游戏壁纸", 25},
    {"K动物", kStripHd, 6, "动物壁纸", 26},
}};

}  // namespace

const std::array<Category, kCategoryCount>& Categories() { return kTable; }

const Category* CategoryNamed(std::string_view name) {
    for (const Category& c : kTable)
        if (name == c.name) return &c;
    return nullptr;
}

const Category* CategoryOfList(std::string_view listName) {
    for (const Category& c : kTable)
        if (listName == c.list) return &c;
    return nullptr;
}

const Category* CategoryAt(std::string_view strip, int position) {
    for (const Category& c : kTable)
        if (strip == c.strip && position == c.position) return &c;
    return nullptr;
}

int MemoSlotOf(std::string_view strip, int position) { return strip == kStripHd ? 20 + position : position; }

std::array<const char*, kPagesPerStrip> ListsOf(std::string_view strip) {
    std::array<const char*, kPagesPerStrip> lists{};
    for (const Category& c : kTable)
        if (strip == c.strip) lists[c.position] = c.list;
    return lists;
}

}  // namespace core
