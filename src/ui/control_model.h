// The state of one control as both engines keep it, and the rules of every engine call on it.
//
// The headless engine and the Win32 engine hold their controls in this model and change them
// only through it, so an attribute, a list item or a column means the same in both. Not
// thread-safe: each engine guards its own controls. Portable.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/engine.h"

namespace ui {

// A decoded picture of an engine. Items share it: destroying the image id that made it
// leaves the items that show it unchanged.
struct ImageData {
    virtual ~ImageData() = default;
};
using ImageRef = std::shared_ptr<const ImageData>;

struct ItemModel {
    ImageRef image;
    std::string title;
    std::map<int, ImageRef> elem;  // element kind -> button picture
};

// An item-button element of an icon list: one per kind, shown on every item that has its picture.
struct ElemModel {
    int count = 0;
    bool hasAttribute = false;
    ElemCallback callback;
    Rect rect;  // relative to the item
};

struct ControlModel {
    ControlId id = 0;
    WindowId window = 0;
    ControlDesign design;
    // The tab container of a page, and the pages of a container; they point into the engine
    // that owns the controls.
    ControlModel* container = nullptr;
    std::vector<ControlModel*> pages;

    Rect rect;
    bool visible = true;
    std::string caption;
    std::string text;    // what an edit box or combobox field holds
    int value = 0;       // attribute 16
    int selection = -1;  // combobox
    int interval = 0;    // timer, milliseconds
    int lockDepth = 0;
    int scroll = 0;  // icon list, design pixels
    std::vector<ItemModel> items;
    std::map<int, ElemModel> elems;
    std::vector<std::pair<std::string, int>> columns;  // title, width
    std::vector<std::vector<std::string>> rows;
    std::map<int, uint32_t> tabData;

    // Takes rectangle, visibility, caption, value and field text from the design entry.
    void FromDesign(const ControlDesign& d);
    Kind kind() const { return design.kind; }
    // An edit box and a combobox hold a field text; every other control has its caption only.
    bool HasField() const { return kind() == Kind::Editbox || kind() == Kind::Combobox; }

    // Attributes 0-3, 8, 16, 37 and 100. Returns false when nothing changed (a page number
    // out of range, an attribute the control does not have).
    bool SetInt(int attribute, int v);
    int GetInt(int attribute) const;
    // Attributes 20 (caption) and 38 (text) name the control's one text: the field of an
    // edit box or combobox, the caption of anything else.
    // Other attribute numbers carry no text.
    bool SetText(int attribute, const std::string& t);
    std::string GetText(int attribute) const;

    // Icon list items (other kinds have none). position -1 or past the end appends; on
    // delete, -1 removes all. Returns false when nothing changed.
    bool InsertItem(int position, ImageRef image, const std::string& title);
    bool DeleteItem(int position);
    const ItemModel* Item(int position) const;
    int ItemCount() const { return static_cast<int>(items.size()); }

    // Item-button elements (icon lists only).
    int ElemCount(int kind) const;
    bool InsertElem(int kind);
    // Needs the element to exist.
    bool SetElemAttribute(int kind, ElemCallback callback, Rect rect);
    bool SetElemImage(int kind, int item, ImageRef image);
    bool ElemHasImage(int kind, int item) const;

    // Super list (other kinds have none). A column inserted before others takes their
    // place: the cells of later columns move right with their titles. Returns the column's
    // position, -1 when none was added.
    int InsertColumn(int position, const std::string& title, int width);
    int InsertRow(int position);
    bool DeleteRow(int position);
    bool SetCell(int row, int column, const std::string& t);
    std::string Cell(int row, int column) const;

    // Tab container: one 32-bit value per page, initially 0.
    bool SetTabData(int page, uint32_t v);
    uint32_t TabData(int page) const;

    // Locks nest; Unlock answers whether the last lock went (the control needs a redraw).
    void Lock() { ++lockDepth; }
    bool Unlock();
    // Whether drawing of this control is held back by its own lock or its container's.
    bool Locked() const;
};

// Makes `chosen` the one selected radio button among `controls` (the radio buttons of one
// window form one group); returns the buttons whose value changed.
std::vector<ControlModel*> SelectRadio(const std::vector<ControlModel*>& controls, ControlModel& chosen);

}  // namespace ui
