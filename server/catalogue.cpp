#include "catalogue.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "image_tools.h"
#include "log.h"
#include "sys/text.h"

namespace fs = std::filesystem;

namespace node {
namespace {

uint64_t Fnv1a(const std::string& s, uint64_t salt) {
    uint64_t h = 1469598103934665603ull ^ salt;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string Hex16(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string LowerExt(const fs::path& p) {
    std::string e = p.extension().string();
    for (auto& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

struct Found {
    std::string category;
    fs::path file;
};

// Every picture file below `folder`, sorted by path; hidden entries (the cache folder among
// them) are skipped.
std::vector<fs::path> PicturesBelow(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        Log("scan: no folder " + folder.string());
        return out;
    }
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::string name = p.filename().string();
        if (!name.empty() && name[0] == '.') {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file(ec) && IsPictureFileName(name)) out.push_back(p);
    }
    if (ec) Log("scan: stopped early in " + folder.string() + ": " + ec.message());
    std::sort(out.begin(), out.end());
    return out;
}

fs::path Resolve(const Config& config, const std::string& folder) {
    fs::path p(folder);
    return p.is_absolute() ? p : fs::path(config.catalogueUtf8) / p;
}

std::string ReadSidecar(const fs::path& picture, std::string& description) {
    fs::path side = picture;
    side += ".txt";
    std::ifstream in(side, std::ios::binary);
    if (!in) return {};
    std::string title;
    std::getline(in, title);
    if (title.compare(0, 3, "\xEF\xBB\xBF") == 0) title.erase(0, 3);
    std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
    while (!title.empty() && title.back() == '\r') title.pop_back();
    description = sys::Utf8ToGbk(rest);
    return sys::Utf8ToGbk(title);
}

}  // namespace

bool IsPictureFileName(const std::string& nameUtf8) {
    static const std::set<std::string> exts = {".jpg", ".jpeg", ".png", ".webp", ".bmp", ".tif", ".tiff"};
    return exts.count(LowerExt(fs::path(nameUtf8))) != 0;
}

std::string WireText(const std::string& gbk, bool multiline) {
    std::string t = gbk;
    for (const char* bad : {"(＆)", "[a]", "[q]"}) t = sys::ReplaceAll(t, bad, " ");
    std::string out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size();) {
        size_t len = sys::CharLength(t, i);
        unsigned char c = static_cast<unsigned char>(t[i]);
        if (len == 2) {
            if (t[i + 1] != '\0') out.append(t, i, 2);
        } else if (c >= 0x20 && c != 0x7F && c < 0x80) {
            out += t[i];
        } else if (multiline && (c == '\n' || c == '\r' || c == '\t')) {
            out += t[i];
        } else if (c != 0) {
            out += ' ';
        }
        i += len;
    }
    return out;
}

const std::vector<size_t>& Catalogue::InCategory(const std::string& categoryGbk) const {
    static const std::vector<size_t> none;
    auto it = byCategory_.find(categoryGbk);
    return it == byCategory_.end() ? none : it->second;
}

const Picture* Catalogue::ByKey(const std::string& key) const {
    auto it = byKey_.find(key);
    return it == byKey_.end() ? nullptr : &pictures_[it->second];
}

std::shared_ptr<const Catalogue> ScanCatalogue(const Config& config, std::string* report) {
    auto cat = std::make_shared<Catalogue>();
    const auto& names = CategoryNames();
    std::vector<Found> found;

    if (config.categories.empty() && config.subjects.empty()) {
        for (const auto& name : names)
            for (auto& f : PicturesBelow(fs::path(config.catalogueUtf8) / sys::GbkToUtf8(name)))
                found.push_back({name, f});
    } else {
        for (const auto& src : config.categories)
            for (const auto& folder : src.foldersUtf8)
                for (auto& f : PicturesBelow(Resolve(config, folder))) found.push_back({src.category, f});
        // Subject folders: the 4K view takes what is wide enough, the HD view the rest. The
        // category is settled below, once the width is known.
        for (const auto& src : config.subjects)
            for (const auto& folder : src.foldersUtf8)
                for (auto& f : PicturesBelow(Resolve(config, folder)))
                    found.push_back({"?" + src.category, f});
    }

    fs::path root = fs::weakly_canonical(fs::path(config.catalogueUtf8));
    int unreadable = 0;
    for (auto& f : found) {
        Picture p;
        std::error_code ec;
        p.sourceUtf8 = f.file.string();
        int w = 0, h = 0;
        if (!ReadImageSize(p.sourceUtf8, w, h)) {
            Log("scan: skipped unreadable picture " + p.sourceUtf8);
            ++unreadable;
            continue;
        }
        p.width = w;
        p.height = h;
        if (f.category[0] == '?') {
            std::string subject = f.category.substr(1);
            p.category = (w >= config.min4kWidth ? "4K" : "K") + subject;
        } else {
            p.category = f.category;
            if (Is4kCategory(p.category) && w < config.min4kWidth)
                Log("scan: " + p.sourceUtf8 + " is in a 4K category but only " + std::to_string(w) +
                    " px wide");
        }
        struct stat st {};
        if (::stat(p.sourceUtf8.c_str(), &st) != 0) continue;
        p.bytes = static_cast<uint64_t>(st.st_size);
        p.mtime = static_cast<int64_t>(st.st_mtime);
        fs::path rel = fs::weakly_canonical(f.file, ec).lexically_relative(root);
        p.relUtf8 =
            (ec || rel.empty() || *rel.begin() == "..") ? f.file.filename().string() : rel.generic_string();
        p.countKey = sys::GbkToUtf8(p.category) + "/" + p.relUtf8;
        std::string ext = LowerExt(f.file);
        p.needsJpeg = !(ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".bmp");
        std::string description;
        std::string title = ReadSidecar(f.file, description);
        if (title.empty()) title = sys::Utf8ToGbk(f.file.stem().string());
        if (description.empty())
            description = "分辨率 " + std::to_string(w) + "×" + std::to_string(h) + "，" + p.category;
        p.title = WireText(title);
        p.description = WireText(description, true);
        uint64_t salt = 0;
        do {
            p.key = Hex16(Fnv1a(p.countKey, salt++));
        } while (cat->byKey_.count(p.key));
        cat->byKey_[p.key] = cat->pictures_.size();
        cat->pictures_.push_back(std::move(p));
    }

    // A subject without its own "最新" folder: the newest pictures of the other subjects.
    if (!config.subjects.empty()) {
        bool hasLatest = false;
        for (const auto& s : config.subjects) hasLatest |= s.category == SubjectNames()[0];
        for (const auto& c : config.categories) hasLatest |= TabPosition(c.category) == 0;
        if (!hasLatest) {
            for (const char* view : {"4K", "K"}) {
                std::vector<size_t> idx;
                for (size_t i = 0; i < cat->pictures_.size(); ++i)
                    if (sys::StartsWith(cat->pictures_[i].category, view) &&
                        Is4kCategory(cat->pictures_[i].category) == (std::string(view) == "4K"))
                        idx.push_back(i);
                std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
                    return cat->pictures_[a].mtime > cat->pictures_[b].mtime;
                });
                if (idx.size() > 60) idx.resize(60);
                std::string latest = std::string(view) + SubjectNames()[0];
                for (size_t i : idx) {
                    Picture p = cat->pictures_[i];
                    p.category = latest;
                    p.countKey = sys::GbkToUtf8(latest) + "/" + p.relUtf8;
                    uint64_t salt = 0;
                    do {
                        p.key = Hex16(Fnv1a(p.countKey, salt++));
                    } while (cat->byKey_.count(p.key));
                    cat->byKey_[p.key] = cat->pictures_.size();
                    cat->pictures_.push_back(std::move(p));
                }
            }
        }
    }

    for (size_t i = 0; i < cat->pictures_.size(); ++i)
        cat->byCategory_[cat->pictures_[i].category].push_back(i);
    if (report) {
        std::string r = "scan: " + std::to_string(cat->pictures_.size()) + " pictures";
        for (const auto& name : names)
            r += " " + sys::GbkToUtf8(name) + "=" + std::to_string(cat->InCategory(name).size());
        if (unreadable) r += ", " + std::to_string(unreadable) + " unreadable";
        *report = r;
    }
    return cat;
}

}  // namespace node
