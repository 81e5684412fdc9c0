#include "web/http_engine.h"

#include <gtest/gtest.h>

#include "recording_internet_api.h"

using namespace web;
using webtest::Arg;
using webtest::RecordingInternetApi;

namespace {

constexpr uint32_t kBaseFlags = 0x80000000u | 0x10u;
constexpr uint32_t kNotSecure = 0x4000;
constexpr uint32_t kSecure = 0x800000;
constexpr uint32_t kNoCookies = 0x80000;

const char* const kDefaultHeaders = "Accept: */*\r\nReferer: http://h/x\r\nAccept-Language: zh-cn";

uint32_t Flags(const RecordingInternetApi& api) { return api.Find("OpenRequest")->n1; }
std::string Verb(const RecordingInternetApi& api) { return *api.Find("OpenRequest")->a; }

}  // namespace

TEST(WebRequestTest, DefaultGetMakesExactlyTheseCalls) {
    RecordingInternetApi api;
    api.chunks = {std::string(1024, 'a'), "bc", std::string("\0d", 2)};
    api.headerBlock = "HTTP/1.1 200 OK\r\nContent-Length: 1028\r\n\r\n";
    std::string headers = "old", cookies = "old";
    std::string body = WebRequest(api, "http://h/x", 0, {}, nullptr, &cookies, {}, &headers);

    EXPECT_EQ(body, std::string(1024, 'a') + "bc" + std::string("\0d", 2));
    EXPECT_EQ(headers, *api.headerBlock);
    EXPECT_EQ(cookies, "");
    EXPECT_EQ(api.Names(),
              (std::vector<std::string>{"Open", "Connect", "OpenRequest", "SetOption", "Send", "Read", "Read",
                                        "Read", "Read", "Query", "Close", "Close", "Close"}));
    const auto& open = *api.Find("Open");
    EXPECT_EQ(open.a, Arg(kDefaultAgent));
    EXPECT_EQ(open.n1, 1u);
    EXPECT_EQ(open.b, std::nullopt);
    EXPECT_EQ(open.c, std::nullopt);
    EXPECT_EQ(open.n2, 0u);

    const auto& connect = *api.Find("Connect");
    EXPECT_EQ(connect.handle, api.internet());
    EXPECT_EQ(connect.a, Arg("h"));
    EXPECT_EQ(connect.n1, 80u);
    EXPECT_EQ(connect.b, std::nullopt);
    EXPECT_EQ(connect.c, std::nullopt);
    EXPECT_EQ(connect.n2, 3u);
    EXPECT_EQ(connect.n3, 0u);

    const auto& req = *api.Find("OpenRequest");
    EXPECT_EQ(req.handle, api.connection());
    EXPECT_EQ(req.a, Arg("GET"));
    EXPECT_EQ(req.b, Arg("/x"));
    EXPECT_EQ(req.c, Arg("HTTP/1.1"));
    EXPECT_EQ(req.d, std::nullopt);
    EXPECT_EQ(req.e, std::nullopt);
    EXPECT_EQ(req.n1, kBaseFlags | kNotSecure);

    const auto& option = *api.Find("SetOption");
    EXPECT_EQ(option.handle, api.request());
    EXPECT_EQ(option.n1, 31u);
    EXPECT_EQ(option.n2, 4u);
    EXPECT_EQ(option.data, std::string("\x80\xF3\x01\x00", 4));

    const auto& send = *api.Find("Send");
    EXPECT_EQ(send.handle, api.request());
    EXPECT_EQ(send.a, Arg(kDefaultHeaders));
    EXPECT_EQ(send.n1, std::string(kDefaultHeaders).size());
    EXPECT_TRUE(send.dataIsNull);
    EXPECT_EQ(send.n2, 0u);

    for (const auto& c : api.calls) {
        if (c.name == "Read") {
            EXPECT_EQ(c.n1, 1024u);
        }
    }
    const auto& query = *api.Find("Query");
    EXPECT_EQ(query.n1, 22u);
    EXPECT_EQ(query.n2, 5000u);
    EXPECT_EQ(query.data, std::string(5000, ' '));
    EXPECT_EQ(api.closed, (std::vector<InternetHandle>{api.request(), api.connection(), api.internet()}));
}

TEST(WebRequestTest, MethodClampingAndBodies) {
    for (int method : {9, -1, 8, 0}) {
        RecordingInternetApi api;
        std::string bytes;
        WebRequest(api, "http://h/x", method, "abc", nullptr, nullptr, {}, nullptr, false, &bytes);
        EXPECT_EQ(Verb(api), "GET") << method;
        EXPECT_TRUE(api.Find("Send")->dataIsNull) << method;
        EXPECT_EQ(api.SentHeaders(), kDefaultHeaders) << method;
        EXPECT_EQ(bytes, "") << "a GET leaves postBytes alone";
    }
    {
        RecordingInternetApi api;
        std::string bytes;
        WebRequest(api, "http://h/x", 1, "abc", nullptr, nullptr, {}, nullptr, false, &bytes);
        EXPECT_EQ(Verb(api), "POST");
        EXPECT_EQ(api.SentHeaders(),
                  std::string(kDefaultHeaders) + "\r\nContent-Type: application/x-www-form-urlencoded");
        EXPECT_EQ(api.Find("Send")->data, "abc");
        EXPECT_EQ(bytes, "abc") << "the text's bytes are written back";
    }
    {
        RecordingInternetApi api;
        std::string bytes = std::string("\x01\0\x02", 3);
        WebRequest(api, "http://h/x", 3, "text", nullptr, nullptr, {}, nullptr, false, &bytes);
        EXPECT_EQ(Verb(api), "PUT");
        EXPECT_EQ(api.SentHeaders(), kDefaultHeaders);
        EXPECT_EQ(api.Find("Send")->data, std::string("\x01\0\x02", 3)) << "postBytes win over postText";
        EXPECT_EQ(bytes, std::string("\x01\0\x02", 3));
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 5);
        EXPECT_EQ(Verb(api), "DELETE");
        EXPECT_TRUE(api.Find("Send")->dataIsNull) << "nothing to send";
        EXPECT_EQ(api.Find("Send")->n2, 0u);
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 1, "a=1", nullptr, nullptr, "content-type: text/plain");
        EXPECT_EQ(api.SentHeaders(),
                  "Content-Type: text/plain\r\nAccept: */*\r\nReferer: http://h/x\r\nAccept-Language: zh-cn");
    }
    const char* verbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
    for (int m = 0; m < 8; ++m) {
        RecordingInternetApi api;
        WebRequest(api, "http://h/", m);
        EXPECT_EQ(Verb(api), verbs[m]);
    }
}

TEST(WebRequestTest, SchemePortAndPath) {
    {
        RecordingInternetApi api;
        WebRequest(api, "HTTPS://Secure.Example/Path");
        EXPECT_EQ(api.Find("Connect")->a, Arg("secure.example"));
        EXPECT_EQ(api.Find("Connect")->n1, 443u);
        EXPECT_EQ(api.Find("OpenRequest")->b, Arg("/Path"));
        EXPECT_EQ(Flags(api), kBaseFlags | kSecure);
        EXPECT_EQ(api.SentHeaders(),
                  "Accept: */*\r\nReferer: HTTPS://Secure.Example/Path\r\nAccept-Language: zh-cn");
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h");
        EXPECT_EQ(api.Find("OpenRequest")->b, Arg("/"));
        EXPECT_EQ(api.Find("Connect")->n1, 80u);
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h:8080/x?y=1");
        EXPECT_EQ(api.Find("Connect")->a, Arg("h"));
        EXPECT_EQ(api.Find("Connect")->n1, 8080u);
        EXPECT_EQ(api.Find("OpenRequest")->b, Arg("/x?y=1"));
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "https://h:8443/");
        EXPECT_EQ(api.Find("Connect")->n1, 8443u);
        EXPECT_EQ(Flags(api), kBaseFlags | kSecure);
    }
    {
        // "https" without "://" is no secure URL, but its default port is still 443.
        RecordingInternetApi api;
        WebRequest(api, "httpsite/x");
        EXPECT_EQ(Flags(api), kBaseFlags | kNotSecure);
        EXPECT_EQ(api.Find("Connect")->n1, 443u);
    }
}

TEST(WebRequestTest, UnsafeUrlsAreRefusedBeforeAnythingOpens) {
    for (std::string url :
         {std::string("http://h/x\r\nX-Evil: 1"), std::string("http://h/x\nA: b"),
          std::string("http://h/\0x", 11), std::string("http://h:70000/x"), std::string("http://h:-1/x"),
          std::string("http://h/a\tb"), std::string("http://h/a b"), std::string("http://h/\x7F"),
          std::string("file://h/x"), std::string("ftp://h/x")}) {
        RecordingInternetApi api;
        std::string headers = "keep", cookies = "c=1", returned = "r";
        EXPECT_EQ(WebRequest(api, url, 0, {}, &cookies, &returned, {}, &headers), "");
        EXPECT_TRUE(api.calls.empty()) << url;
        EXPECT_EQ(headers, "keep");
        EXPECT_EQ(cookies, "c=1");
        EXPECT_EQ(returned, "r");
    }
    RecordingInternetApi api;
    WebRequest(api, "http://h:65535/");
    EXPECT_EQ(api.Find("Connect")->n1, 65535u);
}

TEST(WebRequestTest, AgentAndHeaderCompletion) {
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 0, {}, nullptr, nullptr, "user-agent: Foo ");
        EXPECT_EQ(api.Find("Open")->a, Arg("Foo"));
        EXPECT_EQ(api.SentHeaders(),
                  "User-Agent: Foo \r\nAccept: */*\r\nReferer: http://h/x\r\nAccept-Language: zh-cn");
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 0, {}, nullptr, nullptr, "accept: image/png\r\nreferer: r\r\nx-a: 1");
        EXPECT_EQ(api.SentHeaders(), "Accept: image/png\r\nReferer: r\r\nX-A: 1\r\nAccept-Language: zh-cn");
    }
    {
        // Left as written, a lower-case user-agent line is still found (case-insensitive) but
        // not cut out (case-sensitive): the agent falls back to the text after the first ":".
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 0, {}, nullptr, nullptr, "accept-language: en\r\nuser-agent: Bar",
                   nullptr, false, nullptr, {}, true, true, false);
        EXPECT_EQ(api.Find("Open")->a, Arg("en\r\nuser-agent: Bar"));
        EXPECT_EQ(api.SentHeaders(),
                  "accept-language: en\r\nuser-agent: Bar\r\nAccept: */*\r\nReferer: http://h/x");
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 0, {}, nullptr, nullptr, "User-Agent:\r\nX: y");
        // Trimming takes spaces only, so the line break after the empty value stays.
        EXPECT_EQ(api.Find("Open")->a, Arg("\r\nX: y")) << "an empty agent falls back to the first colon";
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 0, {}, nullptr, nullptr, {}, nullptr, false, nullptr, {}, true, false);
        EXPECT_EQ(api.Find("Send")->a, Arg(""));
        EXPECT_EQ(api.Find("Send")->n1, 0u);
        EXPECT_EQ(api.Find("Open")->a, Arg(kDefaultAgent));
    }
}

TEST(WebRequestTest, CookiesSentAndWinInetCookiesOff) {
    std::string sent[2];
    const std::string forms[2] = {"a=1; b=2", "Cookie: a=1; b=2"};
    for (int i = 0; i < 2; ++i) {
        RecordingInternetApi api;
        std::string cookies = forms[i];
        WebRequest(api, "http://h/x", 0, {}, &cookies, nullptr, {}, nullptr, false, nullptr, {}, false,
                   false);
        sent[i] = api.SentHeaders();
        EXPECT_EQ(Flags(api), kBaseFlags | kNotSecure | kNoCookies);
    }
    EXPECT_EQ(sent[0], "\r\nCookie: a=1; b=2");
    EXPECT_EQ(sent[1], sent[0]);

    RecordingInternetApi api;
    std::string cookies = "c=3";
    WebRequest(api, "http://h/x", 0, {}, &cookies);
    EXPECT_EQ(api.SentHeaders(), std::string(kDefaultHeaders) + "\r\nCookie: c=3");

    RecordingInternetApi none;
    WebRequest(none, "http://h/x");
    EXPECT_EQ(Flags(none) & kNoCookies, 0u);
}

TEST(WebRequestTest, ReceivedCookiesAndMerge) {
    const std::string block =
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\nset-cookie: "
        "c=3\r\nSet-Cookie:d=4\r\n\r\n";
    {
        RecordingInternetApi api;
        api.headerBlock = block;
        std::string returned;
        WebRequest(api, "http://h/x", 0, {}, nullptr, &returned);
        EXPECT_EQ(returned, "a=1; b=2");
    }
    {
        // Present but empty: WinINet's own cookies still go off, and the merge still runs.
        RecordingInternetApi api;
        api.headerBlock = block;
        std::string cookies, returned;
        WebRequest(api, "http://h/x", 0, {}, &cookies, &returned);
        EXPECT_EQ(Flags(api) & kNoCookies, kNoCookies);
        EXPECT_EQ(api.SentHeaders(), kDefaultHeaders);
        EXPECT_EQ(returned, "a=1; b=2");
        EXPECT_EQ(cookies, "a=1; b=2");
    }
    {
        RecordingInternetApi api;
        api.headerBlock = block;
        std::string cookies = "b=0; z=9", returned;
        WebRequest(api, "http://h/x", 0, {}, &cookies, &returned);
        EXPECT_EQ(returned, "a=1; b=2; z=9");
        EXPECT_EQ(cookies, "a=1; b=2; z=9");
    }
    {
        RecordingInternetApi api;
        api.headerBlock = block;
        std::string cookies = "b=0; z=9", returned;
        WebRequest(api, "http://h/x", 0, {}, &cookies, &returned, {}, nullptr, false, nullptr, {}, false);
        EXPECT_EQ(returned, "a=1; b=2");
        EXPECT_EQ(cookies, "b=0; z=9") << "no merge, no write-back";
    }
}

TEST(WebRequestTest, FailedHeaderQuery) {
    RecordingInternetApi api;
    api.headerBlock = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\n" + std::string(5000, 'x') + "\r\n\r\n";
    std::string headers, returned, cookies = "k=1";
    WebRequest(api, "http://h/x", 0, {}, &cookies, &returned, {}, &headers);
    EXPECT_EQ(headers, std::string(5000, ' '));
    EXPECT_EQ(returned, "k=1");
    EXPECT_EQ(cookies, "k=1");

    RecordingInternetApi failing;  // no header block at all
    returned = "x";
    WebRequest(failing, "http://h/x", 0, {}, nullptr, &returned, {}, &headers);
    EXPECT_EQ(headers, std::string(5000, ' '));
    EXPECT_EQ(returned, "");
}

TEST(WebRequestTest, FailedHandlesCloseWhatWasOpenAndTouchNothing) {
    for (int stage = 0; stage < 3; ++stage) {
        RecordingInternetApi api;
        api.failOpen = stage == 0;
        api.failConnect = stage == 1;
        api.failOpenRequest = stage == 2;
        api.headerBlock = "HTTP/1.1 200 OK\r\nSet-Cookie: n=1\r\n\r\n";
        std::string cookies = "c=1", returned = "r", headers = "h", bytes;
        std::string body =
            WebRequest(api, "http://h/x", 1, "text", &cookies, &returned, {}, &headers, false, &bytes);
        EXPECT_EQ(body, "");
        EXPECT_EQ(cookies, "c=1");
        EXPECT_EQ(returned, "r");
        EXPECT_EQ(headers, "h");
        EXPECT_EQ(bytes, "") << "postBytes untouched";
        EXPECT_EQ(api.Find("Send"), nullptr);
        std::vector<InternetHandle> expected;
        if (stage >= 2) expected.push_back(api.connection());
        if (stage >= 1) expected.push_back(api.internet());
        EXPECT_EQ(api.closed, expected) << "stage " << stage;
    }
}

TEST(WebRequestTest, ReadLoopEndsOnZeroOrFailure) {
    {
        RecordingInternetApi api;
        api.chunks = {"ab", "", "never"};
        EXPECT_EQ(WebRequest(api, "http://h/x"), "ab");
    }
    {
        // A failing read that claims a count must not keep the loop going (or add bytes).
        RecordingInternetApi api;
        api.chunks = {"ab", "cd", "ef"};
        api.failReadAt = 1;
        api.countOnFailedRead = 7;
        std::string headers;
        EXPECT_EQ(WebRequest(api, "http://h/x", 0, {}, nullptr, nullptr, {}, &headers), "ab");
        EXPECT_NE(api.Find("Query"), nullptr) << "the remaining steps still run";
        EXPECT_EQ(api.closed.size(), 3u);
    }
    {
        // An error status is an ordinary body.
        RecordingInternetApi api;
        api.chunks = {"<h1>404</h1>"};
        api.headerBlock = "HTTP/1.1 404 Not Found\r\n\r\n";
        EXPECT_EQ(WebRequest(api, "http://h/missing"), "<h1>404</h1>");
    }
}

TEST(WebRequestTest, ProxyAndRedirectFlags) {
    {
        RecordingInternetApi api;
        WebRequest(api, "http://h/x", 0, {}, nullptr, nullptr, {}, nullptr, true, nullptr, "p.example:3128");
        const auto& open = *api.Find("Open");
        EXPECT_EQ(open.n1, 3u);
        EXPECT_EQ(open.b, Arg("http=p.example:3128"));
        EXPECT_EQ(open.c, Arg(""));
        EXPECT_EQ(Flags(api), kBaseFlags | kNotSecure | 0x200000u);
    }
    {
        RecordingInternetApi api;
        WebRequest(api, "https://h/x", 0, {}, nullptr, nullptr, {}, nullptr, false, nullptr,
                   "p.example:3128");
        EXPECT_EQ(api.Find("Open")->b, Arg("p.example:3128"));
        EXPECT_EQ(Flags(api), kBaseFlags | kSecure);
    }
}

TEST(WebRequestTest, DefaultApiGivesTheEmptyResultWhenNothingAnswers) {
    // Port 9 (discard) has no listener here: the exchange fails and the result is empty.
    EXPECT_EQ(WebRequest("http://127.0.0.1:9/x"), "");
}
