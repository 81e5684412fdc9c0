#include "node_config.h"

#include <arpa/inet.h>

#include <fstream>
#include <sstream>

#include "sys/text.h"

namespace node {
namespace {

std::string TrimAscii(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
    return s.substr(a, b - a);
}

bool ToPositiveInt(const std::string& s, int& out) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    out = std::stoi(s);
    return out > 0;
}

std::vector<std::string> SplitFolders(const std::string& value) {
    std::vector<std::string> out;
    std::string piece;
    std::istringstream in(value);
    while (std::getline(in, piece, ',')) {
        piece = TrimAscii(piece);
        if (!piece.empty()) out.push_back(piece);
    }
    return out;
}

}  // namespace

const std::vector<std::string>& CategoryNames() {
    static const std::vector<std::string> names = {"4K最新", "4K风景", "4K美女", "4K汽车", "4K动漫",
                                                   "4K游戏", "4K动物", "K最新",  "K风景",  "K美女",
                                                   "K汽车",  "K动漫",  "K游戏",  "K动物"};
    return names;
}

const std::vector<std::string>& SubjectNames() {
    static const std::vector<std::string> names = {"最新", "风景", "美女", "汽车", "动漫", "游戏", "动物"};
    return names;
}

int TabPosition(const std::string& categoryGbk) {
    const auto& names = CategoryNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == categoryGbk) return static_cast<int>(i % 7);
    return -1;
}

bool Is4kCategory(const std::string& categoryGbk) {
    const auto& names = CategoryNames();
    for (size_t i = 0; i < 7; ++i)
        if (names[i] == categoryGbk) return true;
    return false;
}

bool ParseHostPort(const std::string& text, std::string& host, int& port) {
    std::string t = TrimAscii(text);
    size_t colon = t.rfind(':');
    std::string h = colon == std::string::npos ? host : t.substr(0, colon);
    std::string p = colon == std::string::npos ? t : t.substr(colon + 1);
    int value = 0;
    if (p == "0") {
        value = 0;
    } else if (!ToPositiveInt(p, value) || value > 65535) {
        return false;
    }
    if (!h.empty()) host = h;
    port = value;
    return true;
}

bool LoadConfigFile(const std::string& pathUtf8, Config& config, std::string& error) {
    std::ifstream in(pathUtf8, std::ios::binary);
    if (!in) {
        error = "cannot read " + pathUtf8;
        return false;
    }
    std::string section;
    std::string line;
    int lineNo = 0;
    Mirror* mirror = nullptr;
    while (std::getline(in, line)) {
        ++lineNo;
        if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        line = TrimAscii(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        auto bad = [&](const std::string& why) {
            error = pathUtf8 + ":" + std::to_string(lineNo) + ": " + why;
            return false;
        };
        if (line.front() == '[') {
            if (line.back() != ']') return bad("section header without ']'");
            section = TrimAscii(line.substr(1, line.size() - 2));
            if (section == "mirror") {
                config.mirrors.emplace_back();
                mirror = &config.mirrors.back();
            } else if (section != "node" && section != "categories" && section != "subjects") {
                return bad("unknown section [" + section + "]");
            }
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) return bad("expected key = value");
        std::string key = TrimAscii(line.substr(0, eq));
        std::string value = TrimAscii(line.substr(eq + 1));
        std::string gbk = sys::Utf8ToGbk(value);
        if (section.empty() || section == "node") {
            if (key == "listen") {
                if (!ParseHostPort(value, config.listenHost, config.listenPort))
                    return bad("bad listen address");
            } else if (key == "http") {
                if (!ParseHostPort(value, config.httpHost, config.httpPort)) return bad("bad http address");
            } else if (key == "catalogue") {
                config.catalogueUtf8 = value;
            } else if (key == "cache") {
                config.cacheUtf8 = value;
            } else if (key == "notice") {
                config.notice = gbk;
            } else if (key == "description3") {
                config.description3 = gbk;
            } else if (key == "min_4k_width") {
                if (!ToPositiveInt(value, config.min4kWidth)) return bad("bad min_4k_width");
            } else if (key == "page_size") {
                if (!ToPositiveInt(value, config.pageSize) || config.pageSize > 200)
                    return bad("bad page_size");
            } else if (key == "client_timeout") {
                if (!ToPositiveInt(value, config.clientTimeoutSeconds)) return bad("bad client_timeout");
            } else if (key == "max_clients") {
                if (!ToPositiveInt(value, config.maxClients)) return bad("bad max_clients");
            } else if (key == "max_clients_per_address") {
                if (!ToPositiveInt(value, config.maxClientsPerAddress))
                    return bad("bad max_clients_per_address");
            } else if (key == "http_max_connections") {
                if (!ToPositiveInt(value, config.httpMaxConnections)) return bad("bad http_max_connections");
            } else if (key == "http_connections_per_address") {
                if (!ToPositiveInt(value, config.httpPerAddress))
                    return bad("bad http_connections_per_address");
            } else if (key == "admin") {
                if (!ParseHostPort(value, config.adminHost, config.adminPort))
                    return bad("bad admin address");
            } else if (key == "proxy_protocol_from") {
                config.proxyFrom.clear();
                for (const auto& a : SplitFolders(value)) {
                    unsigned char buf[16];
                    if (inet_pton(AF_INET, a.c_str(), buf) != 1 && inet_pton(AF_INET6, a.c_str(), buf) != 1)
                        return bad("bad address in proxy_protocol_from: " + a);
                    config.proxyFrom.push_back(a);
                }
            } else if (key == "http_threads") {
                if (!ToPositiveInt(value, config.httpThreads) || config.httpThreads > 256)
                    return bad("bad http_threads");
            } else if (key == "database") {
                if (value != "sqlite" && value.rfind("postgresql://", 0) != 0 &&
                    value.rfind("postgres://", 0) != 0)
                    return bad("database is sqlite or a postgresql:// address");
                config.database = value == "sqlite" ? std::string() : value;
            } else if (key == "pregenerate") {
                config.pregenerate = value == "1" || value == "true" || value == "yes";
            } else {
                return bad("unknown key " + key);
            }
        } else if (section == "mirror") {
            if (key == "id") {
                mirror->id = gbk;
            } else if (key == "region") {
                mirror->region = gbk;
            } else if (key == "sponsor") {
                mirror->sponsor = gbk;
            } else if (key == "site") {
                mirror->site = gbk;
            } else if (key == "base") {
                mirror->base = gbk;
            } else if (key == "image_base") {
                mirror->imageBase = gbk;
            } else {
                return bad("unknown mirror key " + key);
            }
        } else {
            std::string name = sys::Utf8ToGbk(key);
            bool known = section == "categories" ? TabPosition(name) >= 0 : [&] {
                for (const auto& s : SubjectNames())
                    if (s == name) return true;
                return false;
            }();
            if (!known) return bad("unknown " + section.substr(0, section.size() - 1) + " " + key);
            auto& list = section == "categories" ? config.categories : config.subjects;
            list.push_back({name, SplitFolders(value)});
        }
    }
    for (const auto& m : config.mirrors)
        if (m.id.empty()) {
            error = pathUtf8 + ": a [mirror] without id";
            return false;
        }
    return true;
}

void CompleteConfig(Config& config) {
    if (config.cacheUtf8.empty()) config.cacheUtf8 = config.catalogueUtf8 + "/.miaolan-node";
    if (config.mirrors.empty()) {
        Mirror m;
        m.id = "http://" + config.httpHost + ":" + std::to_string(config.httpPort);
        m.region = "本地节点";
        m.sponsor = "渺岚壁纸 节点";
        m.site = m.id + "/";
        config.mirrors.push_back(m);
    }
    for (auto& m : config.mirrors) {
        if (m.base.empty()) m.base = m.id;
        while (!m.base.empty() && m.base.back() == '/') m.base.pop_back();
        while (!m.imageBase.empty() && m.imageBase.back() == '/') m.imageBase.pop_back();
    }
}

}  // namespace node
