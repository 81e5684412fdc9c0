// The native child controls of the Win32 engine: EDIT for edit boxes, COMBOBOX, and a
// report LISTVIEW for super lists. The model stays the truth; these show it and report the
// user's changes back.
// clang-format off
#include "ui/win32_internal.h"  // <windows.h> before the common-control header
#include <commctrl.h>
// clang-format on

#include <algorithm>

namespace ui {

using win32::Ctl;
using win32::Px;
using win32::Wide;
using win32::Win;

void Win32Engine::State::CreateNative(Win& w, Ctl& c) {
    if (!c.slot) return;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    // Child ids are unique among the window's children only, which is all WM_COMMAND needs.
    HMENU id = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(win32::kNativeIdBase + c.slot));
    switch (c.kind()) {
        case Kind::Editbox:
            c.native =
                CreateWindowExW(0, L"EDIT", Wide(c.text).c_str(), WS_CHILD | ES_AUTOHSCROLL | ES_CENTER, 0, 0,
                                1, 1, w.hwnd, id, instance, nullptr);
            break;
        case Kind::Combobox: {
            // A caption that is none of the items can only be shown by an editable field.
            bool free = !c.design.caption.empty() && std::find(c.design.items.begin(), c.design.items.end(),
                                                               c.design.caption) == c.design.items.end();
            c.native = CreateWindowExW(0, L"COMBOBOX", L"",
                                       WS_CHILD | WS_VSCROLL | (free ? CBS_DROPDOWN : CBS_DROPDOWNLIST), 0, 0,
                                       1, 1, w.hwnd, id, instance, nullptr);
            for (const std::string& item : c.design.items)
                SendMessageW(c.native, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
            if (free) SetWindowTextW(c.native, Wide(c.design.caption).c_str());
            break;
        }
        case Kind::SuperListbox:
            c.native = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                       WS_CHILD | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                       0, 0, 1, 1, w.hwnd, id, instance, nullptr);
            if (c.native)
                SendMessageW(c.native, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                             LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
            break;
        default:
            return;
    }
}

void Win32Engine::State::PlaceNative(Win& w, Ctl& c) {
    if (!c.native) return;
    Rect r = layout::AbsoluteRect(c);
    int x = Px(r.left, w.scale), y = Px(r.top, w.scale), cx = Px(r.width, w.scale),
        cy = Px(r.height, w.scale);
    if (c.kind() == Kind::Editbox) {
        // The frame is drawn by the skin; the edit sits inside it, centred vertically.
        int textHeight = Px(18, w.scale);
        int inset = Px(3, w.scale);
        x += inset;
        cx -= 2 * inset;
        y += std::max(0, (cy - textHeight) / 2);
        cy = std::min(cy, textHeight);
    } else if (c.kind() == Kind::Combobox) {
        cy = Px(r.height + 160, w.scale);  // room for the drop-down list
    }
    SetWindowPos(c.native, nullptr, x, y, std::max(1, cx), std::max(1, cy), SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(c.native, layout::Shown(c) ? SW_SHOWNA : SW_HIDE);
    if (c.kind() == Kind::Combobox)
        SendMessageW(c.native, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Px(r.height - 6, w.scale));
}

void Win32Engine::State::MakeFont(Win& w) {
    sys::ScopedFont font(CreateFontW(-Px(13, w.scale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Microsoft YaHei"));
    for (auto& c : w.controls)
        if (c->native) SendMessageW(c->native, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    // The children use the new font now; the old one may go.
    w.font = std::move(font);
}

void Win32Engine::State::OnCommand(Win& w, WPARAM wp) {
    UINT id = LOWORD(wp), code = HIWORD(wp);
    if (id <= win32::kNativeIdBase) return;
    Ctl* c = w.AtSlot(static_cast<int>(id - win32::kNativeIdBase));
    if (!c || !c->native) return;
    if (c->kind() == Kind::Editbox && code == EN_CHANGE) {
        int n = GetWindowTextLengthW(c->native);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        GetWindowTextW(c->native, text.data(), n + 1);
        text.resize(static_cast<size_t>(n));
        std::string narrow = win32::Narrow(text);
        if (narrow == c->text) return;  // set by the program itself
        c->text = narrow;
        Raise(w.id, EventKind::TextChanged, c->id);
    } else if (c->kind() == Kind::Combobox && code == CBN_SELCHANGE) {
        int index = static_cast<int>(SendMessageW(c->native, CB_GETCURSEL, 0, 0));
        c->SetInt(attr::kCurrentSelection, index);
        Raise(w.id, EventKind::SelectionChanged, c->id, c->selection);
    }
}

void Win32Engine::State::OnNotify(Win& w, LPARAM lp) {
    auto* header = reinterpret_cast<NMHDR*>(lp);
    if (header->code != LVN_ITEMCHANGED || header->idFrom <= win32::kNativeIdBase) return;
    Ctl* c = w.AtSlot(static_cast<int>(header->idFrom - win32::kNativeIdBase));
    if (!c || c->native != header->hwndFrom) return;
    auto* change = reinterpret_cast<NMLISTVIEW*>(lp);
    if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
        !(change->uOldState & LVIS_SELECTED))
        Raise(w.id, EventKind::RowChosen, c->id, change->iItem);
}

void Win32Engine::State::SyncListView(Ctl& c) {
    if (!c.native) return;
    // How a list view moves its sub-items when a column goes in front differs between
    // versions; writing every cell again leaves it showing the model whatever it did.
    for (int row = 0; row < static_cast<int>(c.rows.size()); ++row)
        for (int column = 0; column < static_cast<int>(c.columns.size()); ++column) {
            std::wstring wide = Wide(c.Cell(row, column));
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = wide.data();
            SendMessageW(c.native, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        }
}

void Win32Engine::InsertColumn(ControlId list, int position, const std::string& title, int width) {
    state_->OnUi([&] {
        State& s = *state_;
        Ctl* c = s.FindCtl(list);
        if (!c) return;
        int at = c->InsertColumn(position, title, width);
        if (at < 0 || !c->native) return;
        Win* w = s.FindWin(c->window);
        std::wstring text = Wide(title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text.data();
        column.cx = Px(width, w ? w->scale : 1.0);
        SendMessageW(c->native, LVM_INSERTCOLUMNW, at, reinterpret_cast<LPARAM>(&column));
        s.SyncListView(*c);
    });
}

int Win32Engine::InsertRow(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (!c) return -1;
        int at = c->InsertRow(position);
        if (at >= 0 && c->native) {
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = at;
            item.pszText = const_cast<wchar_t*>(L"");
            SendMessageW(c->native, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        return at;
    });
}

void Win32Engine::DeleteRow(ControlId list, int position) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (!c || !c->DeleteRow(position) || !c->native) return;
        if (position < 0)
            SendMessageW(c->native, LVM_DELETEALLITEMS, 0, 0);
        else
            SendMessageW(c->native, LVM_DELETEITEM, position, 0);
    });
}

void Win32Engine::SetCell(ControlId list, int row, int column, const std::string& text) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (!c || !c->SetCell(row, column, text) || !c->native) return;
        std::wstring wide = Wide(text);
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = wide.data();
        SendMessageW(c->native, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    });
}

}  // namespace ui
