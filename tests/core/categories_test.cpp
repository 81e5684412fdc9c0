#include "core/categories.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

// The table is protocol: names route replies, slots index the page memo. Each lookup must agree
// with every row, and no two rows may share a name, list, page or slot.
TEST(Categories, EveryRowIsFoundByEachOfItsKeysAndNoKeyIsShared) {
    std::set<std::string> names, lists, pages;
    std::set<int> slots;
    for (const core::Category& c : core::Categories()) {
        EXPECT_EQ(core::CategoryNamed(c.name), &c);
        EXPECT_EQ(core::CategoryOfList(c.list), &c);
        EXPECT_EQ(core::CategoryAt(c.strip, c.position), &c);
        EXPECT_EQ(core::MemoSlotOf(c.strip, c.position), c.memoSlot);
        EXPECT_EQ(core::ListsOf(c.strip)[c.position], std::string(c.list));
        EXPECT_TRUE(names.insert(c.name).second);
        EXPECT_TRUE(lists.insert(c.list).second);
        EXPECT_TRUE(pages.insert(std::string(c.strip) + std::to_string(c.position)).second);
        EXPECT_TRUE(slots.insert(c.memoSlot).second);
        EXPECT_LT(c.memoSlot, core::kPageMemoSlots);
    }
    EXPECT_EQ(core::Categories()[0].name, std::string("4K最新"));
    EXPECT_EQ(core::Categories()[7].name, std::string("K最新"));
    EXPECT_EQ(core::CategoryNamed("K汽车")->memoSlot, 23);
    EXPECT_EQ(core::CategoryNamed("4k最新"), nullptr);  // byte for byte
    EXPECT_EQ(core::CategoryAt(core::kStrip4K, 7), nullptr);
    EXPECT_EQ(core::CategoryOfList("动态"), nullptr);
}
