// The machine identifier: the digit and letter rule, and what this machine gives.
#include "wallpaper/machine_id.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

TEST(MachineId, DigitsFirstThenTheCapitalLettersPlaces) {
    EXPECT_EQ(wallpaper::MachineIdentifierFrom("10-11-11-11-11-11", "BFEBFBFF-000306C3-00000000-00000000"),
              "1011111111110003063265262663");
    // Only the first 18 characters of the processor text count; small letters add nothing.
    EXPECT_EQ(wallpaper::MachineIdentifierFrom("00-1A-2b-00-00-0Z", "00000000-00000000-FFFFFFFF-FFFFFFFF"),
              "0012000000000000000000000126");
    EXPECT_EQ(wallpaper::MachineIdentifierFrom("", ""), "");
}

TEST(MachineId, ThisMachineGivesDigitsOnlyFromItsOwnWords) {
    std::string processor = wallpaper::ProcessorText();
    EXPECT_TRUE(std::regex_match(processor, std::regex("[0-9A-F]{8}(-[0-9A-F]{8}){3}"))) << processor;
    std::string id = wallpaper::MachineIdentifier();
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9]{28,}"))) << id;
    std::string address = wallpaper::FirstAdapterAddress().value_or(wallpaper::kFallbackAdapterAddress);
    EXPECT_TRUE(std::regex_match(address, std::regex("[0-9A-F]{2}(-[0-9A-F]{2}){5}"))) << address;
    EXPECT_EQ(id, wallpaper::MachineIdentifierFrom(address, processor));
#ifndef _WIN32
    // No adapter is asked for here: the fallback address.
    EXPECT_EQ(id.substr(0, 12), "101111111111");
#endif
}

}  // namespace
