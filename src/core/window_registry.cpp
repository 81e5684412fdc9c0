#include "core/window_registry.h"

#include <array>
#include <atomic>
#include <mutex>

namespace core {
namespace {

std::atomic<ui::Engine*> g_engine{nullptr};
std::mutex g_mutex;
std::array<ui::WindowId, kWindowKindCount> g_windows{};

}  // namespace

void UseEngine(ui::Engine* engine) { g_engine.store(engine); }

ui::Engine& Ui() { return *g_engine.load(); }

ui::Engine* EngineOrNull() { return g_engine.load(); }

ui::WindowId WindowOf(WindowKind kind) {
    std::lock_guard lock(g_mutex);
    return g_windows[static_cast<int>(kind)];
}

bool IsOpen(WindowKind kind) {
    ui::WindowId id = WindowOf(kind);
    return id != 0 && Ui().WindowExists(id);
}

void RememberWindow(WindowKind kind, ui::WindowId window) {
    std::lock_guard lock(g_mutex);
    g_windows[static_cast<int>(kind)] = window;
}

ui::ControlId ControlOf(WindowKind kind, const std::string& name) {
    ui::WindowId window = WindowOf(kind);
    return window ? Ui().FindControl(window, name) : 0;
}

bool KindOfWindow(ui::WindowId window, WindowKind* kind) {
    std::lock_guard lock(g_mutex);
    for (int i = 0; i < kWindowKindCount; ++i) {
        if (window != 0 && g_windows[i] == window) {
            *kind = static_cast<WindowKind>(i);
            return true;
        }
    }
    return false;
}

void ForgetWindow(ui::WindowId window) {
    std::lock_guard lock(g_mutex);
    for (ui::WindowId& w : g_windows)
        if (w == window) w = 0;
}

}  // namespace core
