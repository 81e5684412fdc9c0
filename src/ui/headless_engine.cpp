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

void HeadlessEngine::AddControlLocked(WindowId window, HeadlessControl* parent, const ControlDesign& design) {
    ControlId id = nextControl_++;
    HeadlessControl& c = controls_[id];
    c.id = id;
    c.window = window;
    c.container = parent;
    c.parent = parent ? parent->id : 0;
    c.FromDesign(design);
    if (parent) parent->pages.push_back(&c);
    windows_[window].controls.push_back(id);
    for (const ControlDesign& page : design.pages) AddControlLocked(window, &c, page);
}

std::vector<ControlModel*> HeadlessEngine::WindowControlsLocked(WindowId window) {
    std::vector<ControlModel*> out;
    if (HeadlessWindow* w = WindowLocked(window))
        for (ControlId id : w->controls) out.push_back(ControlLocked(id));
    return out;
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
        for (const ControlDesign& c : design.controls) AddControlLocked(id, nullptr, c);
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
    if (attribute == attr::kValue && c->kind() == Kind::Radiobutton && value)
        SelectRadio(WindowControlsLocked(c->window), *c);
    else
        c->SetInt(attribute, value);
}

int HeadlessEngine::GetInt(ControlId control, int attribute) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    return c ? c->GetInt(attribute) : 0;
}

void HeadlessEngine::SetText(ControlId control, int attribute, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(control)) c->SetText(attribute, text);
}

std::string HeadlessEngine::GetText(ControlId control, int attribute) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    return c ? c->GetText(attribute) : std::string();
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
    // No decoder here: a picture whose header states a size stands for one that decodes.
    if (SniffImageSize(bytes) == ImageSize{}) return 0;
    std::lock_guard lock(mutex_);
    ImageId id = nextImage_++;
    images_[id] = std::make_shared<ImageData>();
    return id;
}

void HeadlessEngine::DestroyImage(ImageId image) {
    std::lock_guard lock(mutex_);
    images_.erase(image);
}

ImageRef HeadlessEngine::ImageLocked(ImageId image) {
    auto it = images_.find(image);
    return it == images_.end() ? nullptr : it->second;
}

void HeadlessEngine::InsertIcoItem(ControlId list, int position, ImageId image, const std::string& title) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->InsertItem(position, ImageLocked(image), title);
}

void HeadlessEngine::DeleteIcoItem(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->DeleteItem(position);
}

int HeadlessEngine::IcoItemCount(ControlId list) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? c->ItemCount() : 0;
}

std::string HeadlessEngine::IcoItemTitle(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    const ItemModel* item = c ? c->Item(position) : nullptr;
    return item ? item->title : std::string();
}

bool HeadlessEngine::IcoItemHasImage(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    const ItemModel* item = c ? c->Item(position) : nullptr;
    return item && item->image;
}

int HeadlessEngine::ElemCount(ControlId list, int elemKind) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? c->ElemCount(elemKind) : 0;
}

void HeadlessEngine::InsertElem(ControlId list, int elemKind) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->InsertElem(elemKind);
}

void HeadlessEngine::SetElemImageAttribute(ControlId list, int elemKind, ElemCallback callback, Rect rect) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->SetElemAttribute(elemKind, std::move(callback), rect);
}

void HeadlessEngine::SetElemImageData(ControlId list, int elemKind, int item, ImageId image) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->SetElemImage(elemKind, item, ImageLocked(image));
}

bool HeadlessEngine::ElemHasImage(ControlId list, int elemKind, int item) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c && c->ElemHasImage(elemKind, item);
}

void HeadlessEngine::LockUpdate(ControlId control) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(control)) c->Lock();
}

void HeadlessEngine::UnlockUpdate(ControlId control) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(control);
    if (c && c->Unlock()) ++c->redraws;
}

void HeadlessEngine::InsertColumn(ControlId list, int position, const std::string& title, int width) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->InsertColumn(position, title, width);
}

int HeadlessEngine::ColumnCount(ControlId list) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? static_cast<int>(c->columns.size()) : 0;
}

int HeadlessEngine::InsertRow(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? c->InsertRow(position) : -1;
}

void HeadlessEngine::DeleteRow(ControlId list, int position) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->DeleteRow(position);
}

int HeadlessEngine::RowCount(ControlId list) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? static_cast<int>(c->rows.size()) : 0;
}

void HeadlessEngine::SetCell(ControlId list, int row, int column, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(list)) c->SetCell(row, column, text);
}

std::string HeadlessEngine::GetCell(ControlId list, int row, int column) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(list);
    return c ? c->Cell(row, column) : std::string();
}

void HeadlessEngine::SetTabData(ControlId tabs, int page, uint32_t value) {
    std::lock_guard lock(mutex_);
    if (HeadlessControl* c = ControlLocked(tabs)) c->SetTabData(page, value);
}

uint32_t HeadlessEngine::GetTabData(ControlId tabs, int page) {
    std::lock_guard lock(mutex_);
    HeadlessControl* c = ControlLocked(tabs);
    return c ? c->TabData(page) : 0;
}

void HeadlessEngine::Post(std::function<void()> task) {
    std::lock_guard lock(postMutex_);
    try {
        task();
    } catch (...) {
        // As on the UI thread: a task's failure ends that task only.
    }
}

bool HeadlessEngine::Raise(EventKind kind, WindowId window, ControlId control, int value) {
    EventHandler handler = HandlerOf(window);
    if (!handler) return false;
    {
        // The user's page change and selection land in the control before the handler runs.
        std::lock_guard lock(mutex_);
        if (HeadlessControl* c = ControlLocked(control)) {
            if (kind == EventKind::PageChanged && !c->SetInt(attr::kValue, value)) return false;
            if (kind == EventKind::SelectionChanged) c->SetInt(attr::kCurrentSelection, value);
            if (kind == EventKind::Click && c->kind() == Kind::Radiobutton)
                SelectRadio(WindowControlsLocked(c->window), *c);
            if (kind == EventKind::Click && c->kind() == Kind::Checkbox) c->value = c->value ? 0 : 1;
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
        auto it = c->elems.find(elemKind);
        if (it == c->elems.end() || !it->second.hasAttribute) return;
        callback = it->second.callback;
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
