// WebRequest over the real WinINet (through the native call table) against a recording
// server on 127.0.0.1: what reaches the wire.
#include <gtest/gtest.h>

#include "http_recorder.h"
#include "web/http_engine.h"

using namespace web;
using webtest::HttpRecorder;
using webtest::RecordedRequest;

namespace {

std::string OkWithBody(const RecordedRequest& r) {
    return HttpRecorder::Response(200, "OK", "body of " + r.Path());
}

const RecordedRequest& Only(const std::vector<RecordedRequest>& requests) {
    static RecordedRequest none;
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? none : requests.front();
}

}  // namespace

TEST(WebRequestWire, DefaultGet) {
    std::string big;
    for (int i = 0; i < 200 * 1024; ++i) big += static_cast<char>((i * 7 + i / 1024) & 0xFF);
    HttpRecorder server([&](const RecordedRequest&) {
        return HttpRecorder::Response(200, "OK", big, "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n");
    });
    const std::string url = server.Url("/x/Pic.JPG?y=1");
    std::string headers, cookies = "untouched";
    std::string body = WebRequest(url, 0, {}, nullptr, &cookies, {}, &headers);
    ASSERT_EQ(body.size(), big.size());
    EXPECT_TRUE(body == big);

    auto requests = server.Requests();
    const RecordedRequest& r = Only(requests);
    EXPECT_EQ(r.requestLine, "GET /x/Pic.JPG?y=1 HTTP/1.1");
    EXPECT_EQ(r.Value("Accept"), "*/*");
    EXPECT_EQ(r.Value("Referer"), url);
    EXPECT_EQ(r.Value("Accept-Language"), "zh-cn");
    EXPECT_EQ(r.Value("User-Agent"), kDefaultAgent);
    EXPECT_EQ(r.Value("Host"), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(r.Value("Cookie"), "<missing>");
    EXPECT_EQ(r.Value("Content-Type"), "<missing>");

    EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << headers;
    EXPECT_NE(headers.find("Set-Cookie: b=2\r\n"), std::string::npos) << headers;
    EXPECT_EQ(cookies, "a=1; b=2");
}

TEST(WebRequestWire, MethodsAndBodies) {
    HttpRecorder server(OkWithBody);
    std::string bytes;
    EXPECT_EQ(WebRequest(server.Url("/post"), 1, "k=v", nullptr, nullptr, {}, nullptr, false, &bytes),
              "body of /post");
    EXPECT_EQ(bytes, "k=v");
    std::string putBytes = std::string("\x00\x01\xFF", 3);
    WebRequest(server.Url("/put"), 3, "ignored", nullptr, nullptr, {}, nullptr, false, &putBytes);
    WebRequest(server.Url("/nine"), 9, "ignored");
    WebRequest(server.Url("/minus"), -1);

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].requestLine, "POST /post HTTP/1.1");
    EXPECT_EQ(requests[0].body, "k=v");
    EXPECT_EQ(requests[0].Value("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[1].requestLine, "PUT /put HTTP/1.1");
    EXPECT_EQ(requests[1].body, std::string("\x00\x01\xFF", 3));
    EXPECT_EQ(requests[1].Value("Content-Type"), "<missing>");
    EXPECT_EQ(requests[2].requestLine, "GET /nine HTTP/1.1");
    EXPECT_EQ(requests[2].body, "");
    EXPECT_EQ(requests[3].requestLine, "GET /minus HTTP/1.1");
}

TEST(WebRequestWire, HeadersAsGiven) {
    HttpRecorder server(OkWithBody);
    WebRequest(server.Url("/ua"), 0, {}, nullptr, nullptr, "user-agent: Foo\r\naccept: image/png");
    WebRequest(server.Url("/bare"), 0, {}, nullptr, nullptr, {}, nullptr, false, nullptr, {}, true, false);
    WebRequest(server.Url("/xhr"), 0, {}, nullptr, nullptr, "x-requested-with: XMLHttpRequest");

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Value("User-Agent"), "Foo");
    EXPECT_EQ(requests[0].Value("Accept"), "image/png");
    EXPECT_EQ(requests[1].Value("Referer"), "<missing>");
    EXPECT_EQ(requests[1].Value("Accept-Language"), "<missing>");
    EXPECT_EQ(requests[1].Value("User-Agent"), kDefaultAgent);
    bool found = false;
    for (const std::string& line : requests[2].headerLines)
        found = found || line == "X-Requested-With: XMLHttpRequest";
    EXPECT_TRUE(found);
}

TEST(WebRequestWire, CookiesBothFormsAndWinInetJarOff) {
    HttpRecorder server([](const RecordedRequest& r) {
        return HttpRecorder::Response(200, "OK", "c", "Set-Cookie: jar=1; path=/\r\n");
    });
    std::string a = "a=1; b=2", b = "Cookie: a=1; b=2", empty, returned;
    WebRequest(server.Url("/one"), 0, {}, &a);
    WebRequest(server.Url("/two"), 0, {}, &b, nullptr, {}, nullptr, false, nullptr, {}, false);
    WebRequest(server.Url("/three"), 0, {}, &empty, &returned);

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Value("Cookie"), "a=1; b=2");
    EXPECT_EQ(requests[1].Value("Cookie"), "a=1; b=2");
    // WinINet's own jar neither sent jar=1 back nor kept it: the caller's text is the jar.
    EXPECT_EQ(requests[2].Value("Cookie"), "<missing>");
    EXPECT_EQ(a, "jar=1; a=1; b=2");
    EXPECT_EQ(b, "Cookie: a=1; b=2") << "no merge asked";
    EXPECT_EQ(empty, "jar=1");
    EXPECT_EQ(returned, "jar=1");
}

TEST(WebRequestWire, StatusRedirectAndProxy) {
    HttpRecorder server([](const RecordedRequest& r) {
        if (r.Path() == "/moved")
            return HttpRecorder::Response(302, "Found", "go away", "Location: /target\r\n");
        if (r.Path() == "/missing") return HttpRecorder::Response(404, "Not Found", "<h1>none</h1>");
        return HttpRecorder::Response(200, "OK", "at " + r.Path());
    });
    std::string headers;
    EXPECT_EQ(WebRequest(server.Url("/missing"), 0, {}, nullptr, nullptr, {}, &headers), "<h1>none</h1>");
    EXPECT_EQ(headers.rfind("HTTP/1.1 404", 0), 0u) << headers;

    EXPECT_EQ(WebRequest(server.Url("/moved")), "at /target");
    EXPECT_EQ(WebRequest(server.Url("/moved"), 0, {}, nullptr, nullptr, {}, &headers, true), "go away");
    EXPECT_EQ(headers.rfind("HTTP/1.1 302", 0), 0u) << headers;

    const std::string proxy = "127.0.0.1:" + std::to_string(server.port());
    // Wine writes the absolute target with ":80"; Windows leaves the default port out.
    auto isProxyTarget = [](const std::string& target) {
        return target == "http://wallpaper.invalid/p?q=1" || target == "http://wallpaper.invalid:80/p?q=1";
    };
    std::string viaProxy = WebRequest("http://wallpaper.invalid/p?q=1", 0, {}, nullptr, nullptr, {}, nullptr,
                                      false, nullptr, proxy);
    EXPECT_EQ(viaProxy.rfind("at ", 0), 0u);
    EXPECT_TRUE(isProxyTarget(viaProxy.substr(3))) << viaProxy;

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[2].requestLine, "GET /target HTTP/1.1");
    EXPECT_EQ(requests[3].requestLine, "GET /moved HTTP/1.1");
    EXPECT_EQ(requests[4].requestLine.rfind("GET ", 0), 0u);
    EXPECT_TRUE(isProxyTarget(requests[4].Path())) << requests[4].requestLine;
    EXPECT_EQ(requests[4].Value("Referer"), "http://wallpaper.invalid/p?q=1");
}

TEST(WebRequestWire, NobodyListening) {
    // WinINet opens the connection handle without connecting, so the failure comes at the
    // send: an empty body and no response headers (Windows leaves the buffer blank, Wine
    // answers the query with an empty block).
    std::string headers, returned = "r";
    std::string url = "http://127.0.0.1:" + std::to_string(HttpRecorder::UnusedPort()) + "/x";
    EXPECT_EQ(WebRequest(url, 0, {}, nullptr, &returned, {}, &headers), "");
    EXPECT_EQ(headers.find("HTTP/"), std::string::npos) << headers;
    EXPECT_EQ(returned, "");
}

TEST(WebRequestWire, UpperCaseHttpsSpeaksTls) {
    HttpRecorder server(OkWithBody);
    std::string url = "HTTPS://127.0.0.1:" + std::to_string(server.port()) + "/x";
    EXPECT_EQ(WebRequest(url), "");
    auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests[0].tls) << requests[0].requestLine;
}
