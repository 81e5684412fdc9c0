#include "net/category_paths.h"

#include <array>
#include <mutex>

#include "core/categories.h"

namespace net {
namespace {

struct PathList {
    std::mutex mutex;
    std::vector<std::string> paths;
};

PathList* ListOf(std::string_view category) {
    static std::array<PathList, core::kCategoryCount> lists;
    const auto& table = core::Categories();
    for (size_t i = 0; i < table.size(); ++i)
        if (category == table[i].name) return &lists[i];
    return nullptr;
}

}  // namespace

void ClearCategoryPaths(std::string_view category) {
    if (PathList* list = ListOf(category)) {
        std::lock_guard lock(list->mutex);
        list->paths.clear();
    }
}

void AppendCategoryPath(std::string_view category, const std::string& path) {
    if (PathList* list = ListOf(category)) {
        std::lock_guard lock(list->mutex);
        list->paths.push_back(path);
    }
}

std::optional<std::string> CategoryPathAt(std::string_view category, int position) {
    PathList* list = ListOf(category);
    if (!list || position < 0) return std::nullopt;
    std::lock_guard lock(list->mutex);
    if (static_cast<size_t>(position) >= list->paths.size()) return std::nullopt;
    return list->paths[static_cast<size_t>(position)];
}

std::vector<std::string> CategoryPaths(std::string_view category) {
    PathList* list = ListOf(category);
    if (!list) return {};
    std::lock_guard lock(list->mutex);
    return list->paths;
}

}  // namespace net
