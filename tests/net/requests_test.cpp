// Every request, byte for byte.
#include "net/requests.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Hex of the GBK words this file needs, so the check does not rest on the compiler alone.
const std::string kSep = "28 A3 A6 29";
const std::string kGet = "26 BB F1 C8 A1";                      // &获取
const std::string kMostDownloaded = "CF C2 D4 D8 D7 EE B6 E0";  // 下载最多

TEST(Requests, FixedMessagesAreTheirExactBytes) {
    EXPECT_EQ(Hex(net::HelloRequest()), "26 31 " + kSep);
    EXPECT_EQ(net::NodeListRequest(), "&2");
    EXPECT_EQ(net::KeepAliveRequest(), "&4");
    EXPECT_EQ(net::RegisterNodeRequest("N7"), "&3(＆)N7(＆)");
    EXPECT_EQ(net::RegisterNodeRequest(""), "&3(＆)(＆)");
}

TEST(Requests, ListRequestsKeepTheirEmptyAndTrailingFields) {
    // Page 12 of K风景 for node N1: seven fields, the fifth and the last empty.
    EXPECT_EQ(Hex(net::PagingRequest("K风景", 12, "N1")), kGet + " " + kSep + " 4B B7 E7 BE B0 " + kSep +
                                                              " " + kMostDownloaded + " " + kSep + " 31 32 " +
                                                              kSep + " " + kSep + " 4E 31 " + kSep);
    // The 4K tab at position 3 with no node id yet: six fields, ending with a separator.
    EXPECT_EQ(Hex(net::TabChangeRequest("4K汽车", 3, "")), kGet + " " + kSep + " 34 4B C6 FB B3 B5 " + kSep +
                                                               " " + kMostDownloaded + " " + kSep + " 31 " +
                                                               kSep + " 33 " + kSep);
    EXPECT_EQ(net::TabChangeRequest("K最新", 0, "N1"), "&获取(＆)K最新(＆)下载最多(＆)1(＆)0(＆)N1");
    EXPECT_EQ(net::FirstPageRequest("4K动物", "节点2"), "&获取(＆)4K动物(＆)下载最多(＆)1(＆)(＆)节点2(＆)");
    EXPECT_EQ(net::PagingRequest("K美女", 100, ""), "&获取(＆)K美女(＆)下载最多(＆)100(＆)(＆)(＆)");
}

TEST(Requests, DetailDownloadAndChangeRequests) {
    // No node id, no trailing separator.
    EXPECT_EQ(Hex(net::DetailRequest("K风景", "a/1.jpg")),
              "26 CF EA CF B8 " + kSep + " 4B B7 E7 BE B0 " + kSep + " 61 2F 31 2E 6A 70 67");
    EXPECT_EQ(net::DownloadRequest("4K游戏", "g/2.jpg", "M123", "N1"),
              "&下载(＆)4K游戏(＆)g/2.jpg(＆)M123(＆)(＆)N1");
    EXPECT_EQ(net::DownloadRequest("K动漫", "p", "", ""), "&下载(＆)K动漫(＆)p(＆)(＆)(＆)");
    EXPECT_EQ(Hex(net::ChangeWallpaperRequest("2", "M9")),
              "26 B8 FC BB BB " + kSep + " 32 " + kSep + " 4D 39 " + kSep);
}

}  // namespace
