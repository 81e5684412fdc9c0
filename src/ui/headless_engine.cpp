#include "ui/headless_engine.h"

#include "ui/image_sniff.h"

namespace ui {

HeadlessControl* HeadlessEngine::ControlLocked(ControlId control) {
    auto it = controls_.find(control);
    return it == controls_.end() ? nullptr : &it->second;
}

HeadlessWindow* HeadlessEngine::WindowLocked(WindowId window) {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

void HeadlessEngine::AddControlLocked(WindowId window, ControlId parent, const ControlDesign& design) {
    ControlId id = nextControl_++;
    HeadlessControl& c = controls_[id];
    c.design = design;
    c.window = window;
    c.parent = parent;
    c.rect = design.rect;
    c.visible = design.visible;
    c.caption = design.caption;
    c.value = design.value;
    if (design.kind == Kind::Editbox) c.text = design.caption;
    if (design.kind == Kind::Combobox) c.text = design.caption;
    windows_[window].controls.push_back(id);
    for (const ControlDesign& page : design.pages) AddControlLocked(window, id, page);
}

EventHandler HeadlessEngine::HandlerOf(WindowId window) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    return w ? w->handler : EventHandler{};
}

WindowId HeadlessEngine::CreateWindowFrom(const WindowDesign& design, EventHandler handler) {
    WindowId id;
    {
        std::lock_guard lock(mutex_);
        id = nextWindow_++;
        HeadlessWindow& w = windows_[id];
        w.design = design;
        w.handler = std::move(handler);
        w.visible = design.visible;
        for (const ControlDesign& c : design.controls) AddControlLocked(id, 0, c);
    }
    Raise(EventKind::Created, id);
    return id;
}

void HeadlessEngine::RunModal(WindowId window) {
    std::function<void(WindowId)> hook;
    {
        std::lock_guard lock(mutex_);
        HeadlessWindow* w = WindowLocked(window);
        if (!w) return;
        w->modal = true;
        w->visible = true;
        hook = modalHook_;
    }
    if (hook) hook(window);
}

void HeadlessEngine::DestroyWindow(WindowId window) {
    if (!WindowExists(window)) return;
    Raise(EventKind::Destroying, window);
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    if (!w) return;
    for (ControlId c : w->controls) controls_.erase(c);
    windows_.erase(window);
}

bool HeadlessEngine::WindowExists(WindowId window) {
    std::lock_guard lock(mutex_);
    return WindowLocked(window) != nullptr;
}

void HeadlessEngine::ShowWindow(WindowId window, bool shown) {
    std::lock_guard lock(mutex_);
    if (HeadlessWindow* w = WindowLocked(window)) w->visible = shown;
}

bool HeadlessEngine::IsWindowVisible(WindowId window) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    return w && w->visible;
}

void HeadlessEngine::SetWindowState(WindowId window, WindowState state) {
    std::lock_guard lock(mutex_);
    if (HeadlessWindow* w = WindowLocked(window)) w->state = state;
}

WindowState HeadlessEngine::GetWindowState(WindowId window) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    return w ? w->state : WindowState::Normal;
}

void HeadlessEngine::MinimizeWindow(WindowId window) {
    std::lock_guard lock(mutex_);
    if (HeadlessWindow* w = WindowLocked(window)) {
        w->state = WindowState::Minimized;
        ++w->minimizeCalls;
    }
}

void HeadlessEngine::BringToFront(WindowId window) {
    std::lock_guard lock(mutex_);
    if (HeadlessWindow* w = WindowLocked(window)) ++w->frontCalls;
}

std::string HeadlessEngine::WindowTitle(WindowId window) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    return w ? w->design.title : std::string();
}

Rect HeadlessEngine::WindowRect(WindowId window) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    return w ? Rect{0, 0, w->design.width, w->design.height} : Rect{};
}

ControlId HeadlessEngine::FindControl(WindowId window, const std::string& name) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    if (!w) return 0;
    for (ControlId c : w->controls)
        if (controls_[c].design.name == name) return c;
    return 0;
}

WindowId HeadlessEngine::WindowOf(ControlId control) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    return c ? c->window : 0;
}

std::string HeadlessEngine::ControlName(ControlId control) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    return c ? c->design.name : std::string();
}

void HeadlessEngine::Redraw(ControlId control) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(control)) ++c->redraws;
}

void HeadlessEngine::SetInt(ControlId control, int attribute, int value) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    if (!c) return;
    switch (attribute) {
        case attr::kLeft:
            c->rect.left = value;
            break;
        case attr::kTop:
            c->rect.top = value;
            break;
        case attr::kWidth:
            c->rect.width = value;
            break;
        case attr::kHeight:
            c->rect.height = value;
            break;
        case attr::kVisible:
            c->visible = value != 0;
            break;
        case attr::kValue:
            if (c->design.kind == Kind::Radiobutton && value)
                for (auto& [id, other] : controls_)
                    if (other.window == c->window && other.design.kind == Kind::Radiobutton) other.value = 0;
            c->value = value;
            break;
        case attr::kCurrentSelection:
            c->selection = value;
            break;
        case attr::kInterval:
            c->interval = value < 0 ? 0 : value;
            break;
        default:
            break;
    }
}

int HeadlessEngine::GetInt(ControlId control, int attribute) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    if (!c) return 0;
    switch (attribute) {
        case attr::kLeft:
            return c->rect.left;
        case attr::kTop:
            return c->rect.top;
        case attr::kWidth:
            return c->rect.width;
        case attr::kHeight:
            return c->rect.height;
        case attr::kVisible:
            return c->visible ? 1 : 0;
        case attr::kValue:
            return c->value;
        case attr::kCurrentSelection:
            return c->selection;
        case attr::kInterval:
            return c->interval;
        default:
            return 0;
    }
}

void HeadlessEngine::SetText(ControlId control, int attribute, const std::string& text) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    if (!c) return;
    if (attribute == attr::kText)
        c->text = text;
    else
        c->caption = text;
}

std::string HeadlessEngine::GetText(ControlId control, int attribute) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    if (!c) return {};
    return attribute == attr::kText ? c->text : c->caption;
}

void HeadlessEngine::SetPicture(ControlId control, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(control)) c->picture = bytes;
}

void HeadlessEngine::MsgBox(const std::string& title, const std::string& text, const std::string& button,
                            WindowId owner) {
    std::lock_guard lock(mutex_);
    messages_.push_back({title, text, button, owner});
}

void HeadlessEngine::AddTrayIcon(WindowId window, const std::string& tooltip) {
    std::lock_guard lock(mutex_);
    if (HeadlessWindow* w = WindowLocked(window)) {
        w->tray = true;
        w->trayTip = tooltip;
    }
}

void HeadlessEngine::RemoveTrayIcon(WindowId window) {
    std::lock_guard lock(mutex_);
    if (HeadlessWindow* w = WindowLocked(window)) w->tray = false;
}

bool HeadlessEngine::HasTrayIcon(WindowId window) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    return w && w->tray;
}

void HeadlessEngine::PopupTrayMenu(ControlId menu, int dx, int dy) {
    std::lock_guard lock(mutex_);
    popups_.emplace_back(menu, dx, dy);
}

ImageId HeadlessEngine::LoadImageEx(const std::string& bytes, int width, int height) {
    std::lock_guard lock(mutex_);
    if (width <= 0 || height <= 0) return 0;
    ImageId id = nextImage_++;
    images_[id] = SniffImageFormat(bytes) != ImageFormat::Unknown;
    return id;
}

void HeadlessEngine::DestroyImage(ImageId image) {
    std::lock_guard lock(mutex_);
    images_.erase(image);
}

void HeadlessEngine::InsertIcoItem(ControlId list, int position, ImageId image, const std::string& title) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c) return;
    HeadlessItem item;
    item.image = image;
    auto img = images_.find(image);
    item.hasImage = img != images_.end() && img->second;
    item.title = title;
    if (position < 0 || position >= static_cast<int>(c->items.size()))
        c->items.push_back(std::move(item));
    else
        c->items.insert(c->items.begin() + position, std::move(item));
}

void HeadlessEngine::DeleteIcoItem(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c) return;
    if (position < 0)
        c->items.clear();
    else if (position < static_cast<int>(c->items.size()))
        c->items.erase(c->items.begin() + position);
}

int HeadlessEngine::IcoItemCount(ControlId list) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? static_cast<int>(c->items.size()) : 0;
}

std::string HeadlessEngine::IcoItemTitle(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c || position < 0 || position >= static_cast<int>(c->items.size())) return {};
    return c->items[position].title;
}

bool HeadlessEngine::IcoItemHasImage(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c || position < 0 || position >= static_cast<int>(c->items.size())) return false;
    return c->items[position].hasImage;
}

int HeadlessEngine::ElemCount(ControlId list, int elemKind) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? c->elemCount[elemKind] : 0;
}

void HeadlessEngine::InsertElem(ControlId list, int elemKind) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) ++c->elemCount[elemKind];
}

void HeadlessEngine::SetElemImageAttribute(ControlId list, int elemKind, ElemCallback callback, Rect rect) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (c && c->elemCount[elemKind] > 0) c->elemAttribute[elemKind] = {std::move(callback), rect};
}

void HeadlessEngine::SetElemImageData(ControlId list, int elemKind, int item, ImageId image) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c || item < 0 || item >= static_cast<int>(c->items.size())) return;
    auto img = images_.find(image);
    c->items[item].elemImage[elemKind] = img != images_.end() && img->second;
}

bool HeadlessEngine::ElemHasImage(ControlId list, int elemKind, int item) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c || item < 0 || item >= static_cast<int>(c->items.size())) return false;
    auto it = c->items[item].elemImage.find(elemKind);
    return it != c->items[item].elemImage.end() && it->second;
}

void HeadlessEngine::LockUpdate(ControlId control) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(control)) ++c->lockDepth;
}

void HeadlessEngine::UnlockUpdate(ControlId control) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    if (c && c->lockDepth > 0 && --c->lockDepth == 0) ++c->redraws;
}

void HeadlessEngine::InsertColumn(ControlId list, int position, const std::string& title, int width) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c) return;
    if (position < 0 || position >= static_cast<int>(c->columns.size()))
        c->columns.emplace_back(title, width);
    else
        c->columns.insert(c->columns.begin() + position, {title, width});
}

int HeadlessEngine::ColumnCount(ControlId list) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? static_cast<int>(c->columns.size()) : 0;
}

int HeadlessEngine::InsertRow(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c) return -1;
    if (position < 0 || position >= static_cast<int>(c->rows.size())) {
        c->rows.emplace_back();
        return static_cast<int>(c->rows.size()) - 1;
    }
    c->rows.insert(c->rows.begin() + position, std::vector<std::string>{});
    return position;
}

void HeadlessEngine::DeleteRow(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c) return;
    if (position < 0)
        c->rows.clear();
    else if (position < static_cast<int>(c->rows.size()))
        c->rows.erase(c->rows.begin() + position);
}

int HeadlessEngine::RowCount(ControlId list) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? static_cast<int>(c->rows.size()) : 0;
}

void HeadlessEngine::SetCell(ControlId list, int row, int column, const std::string& text) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return;
    auto& cells = c->rows[row];
    if (static_cast<int>(cells.size()) <= column) cells.resize(column + 1);
    cells[column] = text;
}

std::string HeadlessEngine::GetCell(ControlId list, int row, int column) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    if (!c || row < 0 || row >= static_cast<int>(c->rows.size()) || column < 0) return {};
    const auto& cells = c->rows[row];
    return column < static_cast<int>(cells.size()) ? cells[column] : std::string();
}

void HeadlessEngine::SetTabData(ControlId tabs, int page, uint32_t value) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(tabs);
    if (c && page >= 0 && page < static_cast<int>(c->design.pages.size())) c->tabData[page] = value;
}

uint32_t HeadlessEngine::GetTabData(ControlId tabs, int page) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(tabs);
    if (!c) return 0;
    auto it = c->tabData.find(page);
    return it == c->tabData.end() ? 0 : it->second;
}

bool HeadlessEngine::Raise(EventKind kind, WindowId window, ControlId control, int value) {
    EventHandler handler = HandlerOf(window);
    if (!handler) return false;
    {
        // The user's page change and selection land in the control before the handler runs.
        std::lock_guard lock(mutex_);
        if (HeadlessControl* c = ControlLocked(control)) {
            if (kind == EventKind::PageChanged) c->value = value;
            if (kind == EventKind::SelectionChanged) c->selection = value;
            if (kind == EventKind::Click && c->design.kind == Kind::Radiobutton) {
                // The radio buttons of one window form one group.
                for (auto& [id, other] : controls_)
                    if (other.window == c->window && other.design.kind == Kind::Radiobutton) other.value = 0;
                c->value = 1;
            }
        }
    }
    bool answer = handler(Event{kind, window, control, value});
    if (kind == EventKind::CloseRequested && answer) DestroyWindow(window);
    return answer;
}

void HeadlessEngine::ClickElem(ControlId list, int elemKind, int item, int code) {
    ElemCallback callback;
    {
        std::lock_guard lock(mutex_);
        HeadlessControl* c = ControlLocked(list);
        if (!c) return;
        auto it = c->elemAttribute.find(elemKind);
        if (it == c->elemAttribute.end()) return;
        callback = it->second.first;
    }
    if (callback) callback(code, item);
}

std::optional<HeadlessControl> HeadlessEngine::Control(ControlId control) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    if (!c) return std::nullopt;
    return *c;
}

std::optional<HeadlessWindow> HeadlessEngine::Window(WindowId window) {
    std::lock_guard lock(mutex_);
    HeadlessWindow* w = WindowLocked(window);
    if (!w) return std::nullopt;
    return *w;
}

std::vector<WindowId> HeadlessEngine::LiveWindows() {
    std::lock_guard lock(mutex_);
    std::vector<WindowId> ids;
    for (auto& [id, w] : windows_) ids.push_back(id);
    return ids;
}

WindowId HeadlessEngine::FindWindowByName(const std::string& designName) {
    std::lock_guard lock(mutex_);
    for (auto& [id, w] : windows_)
        if (w.design.name == designName) return id;
    return 0;
}

std::vector<HeadlessMessage> HeadlessEngine::Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::tuple<ControlId, int, int>> HeadlessEngine::Popups() {
    std::lock_guard lock(mutex_);
    return popups_;
}

void HeadlessEngine::SetModalHook(std::function<void(WindowId)> hook) {
    std::lock_guard lock(mutex_);
    modalHook_ = std::move(hook);
}

}  // namespace ui
