#include "ui/control_model.h"

#include <algorithm>

namespace ui {

void ControlModel::FromDesign(const ControlDesign& d) {
    design = d;
    rect = d.rect;
    visible = d.visible;
    caption = d.caption;
    value = d.value;
    if (HasField()) text = d.caption;
}

bool ControlModel::SetInt(int attribute, int v) {
    switch (attribute) {
        case attr::kLeft:
            rect.left = v;
            return true;
        case attr::kTop:
            rect.top = v;
            return true;
        case attr::kWidth:
            rect.width = v;
            return true;
        case attr::kHeight:
            rect.height = v;
            return true;
        case attr::kVisible:
            visible = v != 0;
            return true;
        case attr::kValue:
            // A page that does not exist is never current: the container keeps its page.
            if (kind() == Kind::Selectthefolder && (v < 0 || v >= static_cast<int>(pages.size())))
                return false;
            value = v;
            return true;
        case attr::kCurrentSelection:
            if (kind() != Kind::Combobox) return false;
            // As the system list box does: an index past the items selects nothing.
            selection = (v >= 0 && v < static_cast<int>(design.items.size())) ? v : -1;
            return true;
        case attr::kInterval:
            if (kind() != Kind::Timer) return false;
            interval = std::max(0, v);
            return true;
        default:
            return false;
    }
}

int ControlModel::GetInt(int attribute) const {
    switch (attribute) {
        case attr::kLeft:
            return rect.left;
        case attr::kTop:
            return rect.top;
        case attr::kWidth:
            return rect.width;
        case attr::kHeight:
            return rect.height;
        case attr::kVisible:
            return visible ? 1 : 0;
        case attr::kValue:
            return value;
        case attr::kCurrentSelection:
            return selection;
        case attr::kInterval:
            return interval;
        default:
            return 0;
    }
}

bool ControlModel::SetText(int attribute, const std::string& t) {
    if (attribute != attr::kCaption && attribute != attr::kText) return false;
    (HasField() ? text : caption) = t;
    return true;
}

std::string ControlModel::GetText(int attribute) const {
    if (attribute != attr::kCaption && attribute != attr::kText) return {};
    return HasField() ? text : caption;
}

bool ControlModel::InsertItem(int position, ImageRef image, const std::string& title) {
    if (kind() != Kind::IcoListbox) return false;
    ItemModel item{std::move(image), title, {}};
    if (position < 0 || position >= ItemCount())
        items.push_back(std::move(item));
    else
        items.insert(items.begin() + position, std::move(item));
    return true;
}

bool ControlModel::DeleteItem(int position) {
    if (kind() != Kind::IcoListbox) return false;
    if (position < 0) {
        items.clear();
        return true;
    }
    if (position >= ItemCount()) return false;
    items.erase(items.begin() + position);
    return true;
}

const ItemModel* ControlModel::Item(int position) const {
    if (position < 0 || position >= ItemCount()) return nullptr;
    return &items[position];
}

int ControlModel::ElemCount(int k) const {
    auto it = elems.find(k);
    return it == elems.end() ? 0 : it->second.count;
}

bool ControlModel::InsertElem(int k) {
    if (kind() != Kind::IcoListbox) return false;
    ++elems[k].count;
    return true;
}

bool ControlModel::SetElemAttribute(int k, ElemCallback callback, Rect r) {
    auto it = elems.find(k);
    if (it == elems.end() || it->second.count == 0) return false;
    it->second.callback = std::move(callback);
    it->second.rect = r;
    it->second.hasAttribute = true;
    return true;
}

bool ControlModel::SetElemImage(int k, int item, ImageRef image) {
    if (kind() != Kind::IcoListbox || item < 0 || item >= ItemCount()) return false;
    items[item].elem[k] = std::move(image);
    return true;
}

bool ControlModel::ElemHasImage(int k, int item) const {
    const ItemModel* it = Item(item);
    if (!it) return false;
    auto e = it->elem.find(k);
    return e != it->elem.end() && e->second != nullptr;
}

int ControlModel::InsertColumn(int position, const std::string& title, int width) {
    if (kind() != Kind::SuperListbox) return -1;
    int count = static_cast<int>(columns.size());
    int at = (position < 0 || position > count) ? count : position;
    columns.insert(columns.begin() + at, {title, width});
    for (auto& row : rows)
        if (static_cast<int>(row.size()) > at) row.insert(row.begin() + at, std::string());
    return at;
}

int ControlModel::InsertRow(int position) {
    if (kind() != Kind::SuperListbox) return -1;
    int count = static_cast<int>(rows.size());
    int at = (position < 0 || position > count) ? count : position;
    rows.insert(rows.begin() + at, std::vector<std::string>{});
    return at;
}

bool ControlModel::DeleteRow(int position) {
    if (kind() != Kind::SuperListbox) return false;
    if (position < 0) {
        rows.clear();
        return true;
    }
    if (position >= static_cast<int>(rows.size())) return false;
    rows.erase(rows.begin() + position);
    return true;
}

bool ControlModel::SetCell(int row, int column, const std::string& t) {
    if (kind() != Kind::SuperListbox || row < 0 || row >= static_cast<int>(rows.size()) || column < 0)
        return false;
    auto& cells = rows[row];
    if (static_cast<int>(cells.size()) <= column) cells.resize(column + 1);
    cells[column] = t;
    return true;
}

std::string ControlModel::Cell(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0) return {};
    const auto& cells = rows[row];
    return column < static_cast<int>(cells.size()) ? cells[column] : std::string();
}

bool ControlModel::SetTabData(int page, uint32_t v) {
    if (kind() != Kind::Selectthefolder || page < 0 || page >= static_cast<int>(pages.size())) return false;
    tabData[page] = v;
    return true;
}

uint32_t ControlModel::TabData(int page) const {
    auto it = tabData.find(page);
    return it == tabData.end() ? 0 : it->second;
}

bool ControlModel::Unlock() { return lockDepth > 0 && --lockDepth == 0; }

bool ControlModel::Locked() const {
    for (const ControlModel* c = this; c; c = c->container)
        if (c->lockDepth > 0) return true;
    return false;
}

std::vector<ControlModel*> SelectRadio(const std::vector<ControlModel*>& controls, ControlModel& chosen) {
    std::vector<ControlModel*> changed;
    for (ControlModel* other : controls)
        if (other != &chosen && other->kind() == Kind::Radiobutton && other->value) {
            other->value = 0;
            changed.push_back(other);
        }
    if (chosen.value != 1) {
        chosen.value = 1;
        changed.push_back(&chosen);
    }
    return changed;
}

}  // namespace ui
