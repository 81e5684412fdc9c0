// Outside Windows the adapter list is not asked for: the identifier uses the fallback address.
#include "wallpaper/machine_id.h"

namespace wallpaper {

std::optional<std::string> FirstAdapterAddress() { return std::nullopt; }

}  // namespace wallpaper
