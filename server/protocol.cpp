#include "protocol.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "log.h"
#include "sys/text.h"

namespace node {
namespace {

const char kSep[] = "(＆)";

std::string Field(const std::vector<std::string>& f, size_t n) {
    return n <= f.size() ? f[n - 1] : std::string();
}

bool IsTabPosition(const std::string& s) { return s.size() == 1 && s[0] >= '0' && s[0] <= '6'; }

std::string LowerExtension(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return ".jpg";
    std::string e = path.substr(dot);
    for (auto& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

}  // namespace

std::string KeyFromPath(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    if (name.size() == 18 && name.compare(16, 2, "_d") == 0) name.resize(16);
    if (name.size() != 16) return {};
    for (char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
    return name;
}

std::string UrlPath(const std::string& relUtf8) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : relUtf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '_' || c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

Protocol::Protocol(const Config& config, CountsStore& counts, const ImageCache& cache,
                   CatalogueSource catalogue)
    : config_(config),
      counts_(counts),
      cache_(cache),
      catalogue_(std::move(catalogue)),
      random_(std::random_device{}()) {}

std::optional<std::string> Protocol::Handle(std::string_view body, Session& session, std::string* what) {
    // Like the client, read only up to a zero byte.
    size_t zero = body.find('\0');
    if (zero != std::string_view::npos) body = body.substr(0, zero);
    std::vector<std::string> f = sys::Split(body, kSep);
    std::string name = Field(f, 1);
    if (what) *what = name;
    if (name == "&1") return Hello();
    if (name == "&2") return NodeList();
    if (name == "&3") {
        session.nodeId = Field(f, 2);
        return std::nullopt;
    }
    if (name == "&4") return std::nullopt;
    if (name == "&获取") return ListPage(f, session);
    if (name == "&详细") return Detail(f);
    if (name == "&下载") return Download(f, session);
    if (name == "&更换") return Change(f, session);
    if (what) *what = "unknown " + name;
    return std::nullopt;
}

std::string Protocol::NoticeMessage(const std::string& textGbk) const {
    return std::string("&通用") + kSep + WireText(textGbk, true);
}

std::string Protocol::Hello() const {
    const Mirror& m = config_.mirrors.front();
    std::string third = config_.description3.empty() ? m.site : config_.description3;
    std::string desc =
        WireText(m.region) + "[a]" + WireText(m.sponsor) + "[a]" + WireText(third) + "[a]" + WireText(m.id);
    std::string reply = std::string("&1") + kSep + desc;
    if (!config_.notice.empty()) reply += std::string(kSep) + "真" + kSep + WireText(config_.notice, true);
    return reply;
}

std::string Protocol::NodeList() const {
    std::string records;
    for (size_t i = 0; i < config_.mirrors.size(); ++i) {
        const Mirror& m = config_.mirrors[i];
        if (i) records += "[q]";
        records += WireText(m.region) + "[a]" + WireText(m.sponsor) + "[a]" + WireText(m.site) + "[a]" +
                   WireText(m.id);
    }
    return std::string("&2") + kSep + records;
}

const Mirror& Protocol::PickMirror(const std::string& requestId, const Session& s) const {
    for (const std::string* id : {&requestId, &s.nodeId}) {
        if (id->empty()) continue;
        for (const auto& m : config_.mirrors)
            if (m.id == *id) return m;
    }
    return config_.mirrors.front();
}

std::string Protocol::ImageUrl(const Picture& p, const Mirror& m) const {
    if (!m.imageBase.empty()) return m.imageBase + "/" + UrlPath(p.relUtf8);
    return m.base + "/image/" + p.key + (p.needsJpeg ? std::string(".jpg") : LowerExtension(p.sourceUtf8));
}

uint64_t Protocol::ServedBytes(const Picture& p) const {
    if (!p.needsJpeg) return p.bytes;
    struct stat st {};
    std::string path = cache_.PathFor(p, Derived::kFull);
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : p.bytes;
}

std::shared_ptr<const std::vector<size_t>> Protocol::Ordered(const std::shared_ptr<const Catalogue>& cat,
                                                             const std::string& category) {
    uint64_t version = counts_.downloadsVersion();
    std::lock_guard<std::mutex> lock(orderMutex_);
    OrderCache& oc = orders_[category];
    if (oc.catalogue != cat.get() || oc.version != version) {
        std::vector<size_t> order = cat->InCategory(category);
        std::vector<int64_t> downloads(cat->size(), 0);
        for (size_t i : order) downloads[i] = counts_.Get(cat->pictures()[i].countKey).downloads;
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return downloads[a] > downloads[b]; });
        oc.catalogue = cat.get();
        oc.version = version;
        oc.order = std::make_shared<const std::vector<size_t>>(std::move(order));
    }
    return oc.order;
}

std::optional<std::string> Protocol::ListPage(const std::vector<std::string>& f, const Session& s) {
    std::string category = Field(f, 2);
    int position = TabPosition(category);
    if (position < 0) return std::nullopt;
    auto cat = catalogue_();
    auto orderPtr = Ordered(cat, category);
    const std::vector<size_t>& order = *orderPtr;
    int size = config_.pageSize;
    int total = std::max<int>(1, static_cast<int>((order.size() + size - 1) / size));
    int page = std::clamp(sys::ToInt(Field(f, 4)), 1, total);
    // The client marks the tab page named here as loaded. Paging requests leave the field
    // empty, so echoing that would mark position 0 loaded and that tab would never be asked
    // for; naming the category's own position is always true.
    std::string tab = Field(f, 5);
    if (!IsTabPosition(tab)) tab = std::to_string(position);
    std::string paths;
    size_t first = static_cast<size_t>(page - 1) * size;
    for (size_t i = first; i < order.size() && i < first + size; ++i) {
        if (i > first) paths += "[a]";
        paths += "/preview/" + cat->pictures()[order[i]].key + ".jpg";
    }
    const Mirror& m = PickMirror(Field(f, 6), s);
    return std::string("&获取") + kSep + category + kSep + std::to_string(total) + kSep +
           std::to_string(page) + kSep + paths + kSep + tab + kSep + m.base;
}

std::optional<std::string> Protocol::Detail(const std::vector<std::string>& f) {
    auto cat = catalogue_();
    const Picture* p = cat->ByKey(KeyFromPath(Field(f, 3)));
    if (!p || p->category != Field(f, 2)) return std::nullopt;
    Counts c = counts_.AddView(p->countKey);
    // The client's size field is in kilobytes (it labels values below 1024 "KB").
    uint64_t kb = (ServedBytes(*p) + 1023) / 1024;
    return std::string("&详细") + kSep + "/detail/" + p->key + "_d.jpg" + kSep + std::to_string(kb) + kSep +
           std::to_string(c.downloads) + kSep + std::to_string(c.views) + kSep + p->title + kSep +
           p->description + kSep + p->category;
}

std::optional<std::string> Protocol::Download(const std::vector<std::string>& f, const Session& s) {
    auto cat = catalogue_();
    const Picture* p = cat->ByKey(KeyFromPath(Field(f, 3)));
    if (!p || p->category != Field(f, 2)) return std::nullopt;
    counts_.AddDownload(p->countKey);
    return std::string("&下载") + kSep + ImageUrl(*p, PickMirror(Field(f, 6), s)) + kSep + "0";
}

std::optional<std::string> Protocol::Change(const std::vector<std::string>& f, const Session& s) {
    std::string type = Field(f, 2);
    if (type != "0" && type != "1" && type != "2") return std::nullopt;
    auto cat = catalogue_();
    std::vector<size_t> pool;
    for (size_t i = 0; i < cat->size(); ++i) {
        bool is4k = Is4kCategory(cat->pictures()[i].category);
        if (type == "0" || (type == "1") == is4k) pool.push_back(i);
    }
    if (pool.empty()) return std::nullopt;
    size_t pick;
    {
        std::lock_guard<std::mutex> lock(randomMutex_);
        pick = pool[std::uniform_int_distribution<size_t>(0, pool.size() - 1)(random_)];
    }
    return std::string("&下载") + kSep + ImageUrl(cat->pictures()[pick], PickMirror(std::string(), s)) +
           kSep + "1";
}

}  // namespace node
