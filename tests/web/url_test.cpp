#include <gtest/gtest.h>

#include <random>

#include "web/cookies.h"
#include "web/headers.h"
#include "web/urls.h"

using namespace web;

TEST(Url, HostIsLowerCasePathKeepsItsCase) {
    const std::string url = "HTTP://Img.Example.COM/Pics/A.JPG?Size=Big#Top";
    EXPECT_EQ(UrlHost(url), "img.example.com");
    EXPECT_EQ(UrlPath(url), "/Pics/A.JPG?Size=Big#Top");
    EXPECT_EQ(UrlPort(url), 80);
}

TEST(Url, NoSchemeIsHttp) {
    EXPECT_EQ(UrlHost("example.com/a/b"), "example.com");
    EXPECT_EQ(UrlPort("example.com/a/b"), 80);
    EXPECT_EQ(UrlPath("example.com/a/b"), "/a/b");
    EXPECT_EQ(UrlHost("example.com"), "example.com");
    EXPECT_EQ(UrlPath("example.com"), "/");
}

TEST(Url, Ports) {
    EXPECT_EQ(UrlPort("https://h/x"), 443);
    EXPECT_EQ(UrlPort("HTTPS://h/x"), 443);
    EXPECT_EQ(UrlPort("https://h:8080/x"), 8080);
    EXPECT_EQ(UrlPort("http://h:8080/x"), 8080);
    EXPECT_EQ(UrlHost("http://h:8080/x", true), "h:8080");
    EXPECT_EQ(UrlHost("http://h:8080/x"), "h");
    EXPECT_EQ(UrlPort("http://h:abc/"), 0);
    EXPECT_EQ(UrlPort("http://h:/"), 0);
    // Full-width digits count as digits.
    EXPECT_EQ(UrlPort("http://h:８１/"), 81);
    // The last ":" decides: "user:pw@h:90" has two.
    EXPECT_EQ(UrlPort("http://u:p@h:90/"), 90);
}

TEST(Url, QueryWithoutSlashStaysInHost) {
    EXPECT_EQ(UrlHost("http://a.com?x=1"), "a.com?x=1");
    EXPECT_EQ(UrlPath("http://a.com?x=1"), "/");
    EXPECT_EQ(UrlPath("http://a.com"), "/");
    EXPECT_EQ(UrlPath("https://a.com:8443"), "/");
}

TEST(Url, PathWhenHostAlsoOccursInScheme) {
    // Hosts that are pieces of "http://" or "https://" must still give the real path.
    EXPECT_EQ(UrlPath("http://t/x"), "/x");
    EXPECT_EQ(UrlPath("https://ps/a/b"), "/a/b");
    EXPECT_EQ(UrlPath("HTTP://TP:81/q?r=1"), "/q?r=1");
    EXPECT_EQ(UrlPath("h/x"), "/x");
    // ... and a host that also appears in the path is found at its own place.
    EXPECT_EQ(UrlPath("http://a/b/a/c"), "/b/a/c");
}

TEST(Url, GbkPathPassesUnchanged) {
    const std::string url = "http://h/图片/壁纸.jpg";
    EXPECT_EQ(UrlPath(url), "/图片/壁纸.jpg");
    EXPECT_EQ(UrlHost(url), "h");
}

TEST(TextBetweenTest, MarkersStartCaseAndQuotes) {
    EXPECT_EQ(TextBetween("a[b]c", "[", "]"), "b");
    EXPECT_EQ(TextBetween("a[b]c", "{", "]"), "");
    EXPECT_EQ(TextBetween("a[b c", "[", "]"), "");
    EXPECT_EQ(TextBetween("]x[", "[", "]"), "");  // the right marker must come after the left
    EXPECT_EQ(TextBetween("[a][b]", "[", "]", 2), "b");
    EXPECT_EQ(TextBetween("<A>x</A>", "<a>", "</a>"), "");
    EXPECT_EQ(TextBetween("<A>x</A>", "<a>", "</a>", 1, true), "x");
    EXPECT_EQ(TextBetween("[]", "[", "]"), "");
    EXPECT_EQ(TextBetween("name=\"v\";", "name=#引号", "#引号"), "v");
    EXPECT_EQ(TextBetween("共12页", "共", "页"), "12");
}

TEST(Headers, NormalizeNames) {
    EXPECT_EQ(NormalizeHeaderNames("x-requested-with: XMLHttpRequest"), "X-Requested-With: XMLHttpRequest");
    EXPECT_EQ(NormalizeHeaderNames("no colon here\r\naccept: a:b\r\n\r\nuser-agent:Foo\r\n"),
              "Accept: a:b\r\nUser-Agent:Foo");
    EXPECT_EQ(NormalizeHeaderNames("X-ALL-CAPS: v"), "X-ALL-CAPS: v");
    EXPECT_EQ(NormalizeHeaderNames("cOOKIE: a=b"), "COOKIE: a=b");
    EXPECT_EQ(NormalizeHeaderNames("nothing\r\n\r\n"), "");
    EXPECT_EQ(NormalizeHeaderNames(""), "");
    // Dashes are kept where they are, a trailing or doubled one too.
    EXPECT_EQ(NormalizeHeaderNames("x--y-: 1"), "X--Y-: 1");
    EXPECT_EQ(NormalizeHeaderNames("-x: 1"), "-X: 1");
    EXPECT_EQ(NormalizeHeaderNames("标头-x: 值"), "标头-X: 值");
    EXPECT_EQ(NormalizeHeaderNames(": v"), ": v");
}

TEST(Headers, NameAndCapitalize) {
    EXPECT_EQ(HeaderName("Set-Cookie: a=1", ": "), "Set-Cookie");
    EXPECT_EQ(HeaderName("Set-Cookie:a=1", ": "), "");
    EXPECT_EQ(HeaderName("A:B:C", ":"), "A");
    EXPECT_EQ(HeaderName("aXb", "x", true), "a");
    EXPECT_EQ(CapitalizeFirst(""), "");
    EXPECT_EQ(CapitalizeFirst("abc"), "Abc");
    EXPECT_EQ(CapitalizeFirst("1bc"), "1bc");
    EXPECT_EQ(CapitalizeFirst("图"), "图");
}

TEST(Cookies, MergeReplacesAndOrders) {
    std::string old = "a=1; b=2", fresh = "b=3";
    EXPECT_EQ(MergeCookies(old, fresh), "b=3; a=1");
    EXPECT_EQ(old, "b=3; a=1");
    EXPECT_EQ(fresh, "b=3");

    old = "a=1; b=2", fresh = "a=deleted";
    EXPECT_EQ(MergeCookies(old, fresh), "b=2");

    old = "", fresh = "";
    EXPECT_EQ(MergeCookies(old, fresh), "");
    EXPECT_EQ(old, "");

    old = "", fresh = "x=1";
    EXPECT_EQ(MergeCookies(old, fresh), "x=1");
    old = "x=1", fresh = "";
    EXPECT_EQ(MergeCookies(old, fresh), "x=1");
}

TEST(Cookies, MergeTrimsInPlaceAndKeepsBareSemicolonItemsWhole) {
    std::string old = "  a=1; b=2;  ", fresh =
                                           "\xA1\xA1"
                                           "c=3;";
    EXPECT_EQ(MergeCookies(old, fresh), "c=3; a=1; b=2");
    EXPECT_EQ(fresh, "c=3; ");

    // "a=1;b=2" is one item named "a": a new a replaces both.
    old = "a=1;b=2", fresh = "a=5";
    EXPECT_EQ(MergeCookies(old, fresh), "a=5");

    // Names compare exactly; values equal to "deleted" only count at the end of an item.
    old = "A=1; k=deleted-not", fresh = "a=2";
    EXPECT_EQ(MergeCookies(old, fresh), "a=2; A=1; k=deleted-not");

    // Same-name items within the new cookies: all are kept (only exact duplicates go).
    old = "", fresh = "a=1; a=2; a=1";
    EXPECT_EQ(MergeCookies(old, fresh), "a=1; a=2");
}

TEST(Cookies, NameAndDuplicates) {
    EXPECT_EQ(CookieName(" sid =abc=def"), "sid");
    EXPECT_EQ(CookieName(" flag "), "flag");
    EXPECT_EQ(RemoveDuplicateItems("a; b; a; A; b", "; "), "a; b; A");
    EXPECT_EQ(RemoveDuplicateItems("", "; "), "");
    EXPECT_EQ(RemoveDuplicateItems("x|x|", "|"), "x");
}

TEST(Cookies, ExtractFromRawHeaders) {
    const std::string block =
        "HTTP/1.1 200 OK\r\n"
        "Set-Cookie: a=1; Path=/; HttpOnly\r\n"
        "Content-Type: text/html\r\n"
        "Set-Cookie: b=2\r\n"
        "set-cookie: c=3\r\n"
        "Set-Cookie:d=4\r\n"
        "SET-COOKIE: e=5\r\n"
        "\r\n";
    EXPECT_EQ(ExtractSetCookies(block), "a=1; b=2");
    EXPECT_EQ(ExtractSetCookies("HTTP/1.1 200 OK\r\n\r\n"), "");
    EXPECT_EQ(ExtractSetCookies(""), "");
    // Without ";" every "Set-Cookie:" in the line goes, whatever its case.
    EXPECT_EQ(ExtractSetCookies("Set-Cookie: x=set-cookie:y\r\n"), "x=y");
    // A cookie holding a stray CR or LF would split the Cookie line of the next request.
    EXPECT_EQ(ExtractSetCookies("Set-Cookie: a=1\nInjected: 1\r\nSet-Cookie: b=2\r\n"), "b=2");
    EXPECT_EQ(ExtractSetCookies("Set-Cookie: a=1\r; path=/\r\n"), "");
    EXPECT_EQ(ExtractSetCookies(std::string("Set-Cookie: a=\0x\r\n", 18)), "");
    EXPECT_EQ(ExtractSetCookies("Set-Cookie: 名=值; path=/"), "名=值");
}

TEST(Cookies, ExtractSurvivesArbitraryHeaderBytes) {
    const std::vector<std::string> pieces = {"Set-Cookie: ",
                                             "Set-Cookie:",
                                             "set-cookie: ",
                                             ";",
                                             "; ",
                                             "\r\n",
                                             "\r",
                                             "\n",
                                             "=",
                                             "a",
                                             " ",
                                             "\xA1\xA1",
                                             "\xB1",
                                             "\xB1\xED",
                                             std::string(1, '\0'),
                                             "deleted",
                                             ":"};
    std::mt19937 rng(20240601);
    for (int round = 0; round < 4000; ++round) {
        std::string block;
        int n = static_cast<int>(rng() % 24);
        for (int i = 0; i < n; ++i) block += pieces[rng() % pieces.size()];
        std::string cookies = ExtractSetCookies(block);
        for (char c : cookies) {
            ASSERT_FALSE(c == '\r' || c == '\n' || c == '\0') << "block: " << block;
        }
        // New cookies always lead the merged text.
        std::string old = cookies, fresh = "z=9";
        ASSERT_EQ(MergeCookies(old, fresh).substr(0, 3), "z=9") << "block: " << block;
    }
}
