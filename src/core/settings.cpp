#include "app/settings.h"

#include <mutex>

#include "sys/text.h"

#ifndef MIAOLAN_NODE_HOST
#define MIAOLAN_NODE_HOST "127.0.0.1"
#endif

namespace app {
namespace {

std::mutex g_storageMutex;
std::string g_storageFolder;

}  // namespace

std::string_view SkipLeadingControlBytes(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    return text.substr(i);
}

std::string StorageFolderUnder(std::string_view documentsFolder) {
    std::string folder(documentsFolder);
    if (!sys::EndsWith(folder, "\\")) folder += "\\";
    return folder + "\\Zerav";
}

std::string StorageFolder() {
    std::lock_guard<std::mutex> lock(g_storageMutex);
    return g_storageFolder;
}

void SetStorageFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_storageMutex);
    g_storageFolder = folder;
}

std::string NodeHost() { return MIAOLAN_NODE_HOST; }

}  // namespace app
