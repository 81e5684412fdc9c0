#include "core/main_window.h"

#include "core/categories.h"
#include "core/control_names.h"
#include "core/window_registry.h"

namespace core {

using namespace controls::main_window;

void ShowLoadingIndicator(bool shown) {
    if (ui::ControlId picture = ControlOf(WindowKind::Main, kLoading))
        Ui().SetInt(picture, ui::attr::kLeft, shown ? 520 : -300);
}

void SyncViewSelectors() {
    ui::ControlId strip4K = ControlOf(WindowKind::Main, kStrip4K);
    if (!strip4K) return;
    int left = Ui().GetInt(strip4K, ui::attr::kLeft);
    ui::Rect window = Ui().WindowRect(WindowOf(WindowKind::Main));
    bool in4K = Ui().GetInt(strip4K, ui::attr::kVisible) != 0 && left >= 0 && left < window.width;
    Ui().SetInt(ControlOf(WindowKind::Main, in4K ? kView4K : kViewHd), ui::attr::kValue, 1);
}

}  // namespace core
