// The Win32 engine's facade for images, lists, elements, locks and tab data.
#include <algorithm>

#include "ui/win32_engine.h"
#include "ui/win32_internal.h"

namespace ui {

using win32::Ctl;
using win32::Win;

ImageId Win32Engine::LoadImageEx(const std::string& bytes, int width, int height) {
    // Decoding and scaling run on the caller's thread; GDI+ objects are not tied to a thread.
    auto picture = win32::DecodePicture(bytes);
    if (!picture) return 0;
    // A size of 0 or less keeps the picture's own, and so does a picture already at the size
    // (a preview from the node is): a second full-size resample would change nothing.
    std::shared_ptr<Gdiplus::Bitmap> bitmap = picture->frames[0];
    if (width > 0 && height > 0 &&
        (static_cast<int>(bitmap->GetWidth()) != width || static_cast<int>(bitmap->GetHeight()) != height))
        bitmap = win32::ScaledCopy(bitmap.get(), width, height);
    if (!bitmap) return 0;
    ImageRef image = std::make_shared<win32::BitmapImage>(std::move(bitmap));
    return state_->OnUi([&] {
        ImageId id = state_->nextImage++;
        state_->images[id] = image;
        return id;
    });
}

void Win32Engine::DestroyImage(ImageId image) {
    state_->OnUi([&] { state_->images.erase(image); });
}

void Win32Engine::InsertIcoItem(ControlId list, int position, ImageId image, const std::string& title) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (c && c->InsertItem(position, state_->FindImage(image), title)) state_->Invalidate(c);
    });
}

void Win32Engine::DeleteIcoItem(ControlId list, int position) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (!c || !c->DeleteItem(position)) return;
        c->scroll = std::min(c->scroll, layout::MaxScroll(*c));
        c->hoverPart = -1;
        state_->Invalidate(c);
    });
}

int Win32Engine::IcoItemCount(ControlId list) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        return c ? c->ItemCount() : 0;
    });
}

std::string Win32Engine::IcoItemTitle(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        const ItemModel* item = c ? c->Item(position) : nullptr;
        return item ? item->title : std::string();
    });
}

bool Win32Engine::IcoItemHasImage(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        const ItemModel* item = c ? c->Item(position) : nullptr;
        return item && item->image;
    });
}

int Win32Engine::ElemCount(ControlId list, int elemKind) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        return c ? c->ElemCount(elemKind) : 0;
    });
}

void Win32Engine::InsertElem(ControlId list, int elemKind) {
    state_->OnUi([&] {
        if (Ctl* c = state_->FindCtl(list)) c->InsertElem(elemKind);
    });
}

void Win32Engine::SetElemImageAttribute(ControlId list, int elemKind, ElemCallback callback, Rect rect) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (c && c->SetElemAttribute(elemKind, std::move(callback), rect)) state_->Invalidate(c);
    });
}

void Win32Engine::SetElemImageData(ControlId list, int elemKind, int item, ImageId image) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        if (c && c->SetElemImage(elemKind, item, state_->FindImage(image))) state_->Invalidate(c);
    });
}

bool Win32Engine::ElemHasImage(ControlId list, int elemKind, int item) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        return c && c->ElemHasImage(elemKind, item);
    });
}

void Win32Engine::LockUpdate(ControlId control) {
    state_->OnUi([&] {
        if (Ctl* c = state_->FindCtl(control)) c->Lock();
    });
}

void Win32Engine::UnlockUpdate(ControlId control) {
    state_->OnUi([&] {
        Ctl* c = state_->FindCtl(control);
        if (c && c->Unlock()) state_->Invalidate(c);
    });
}

int Win32Engine::ColumnCount(ControlId list) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        return c ? static_cast<int>(c->columns.size()) : 0;
    });
}

int Win32Engine::RowCount(ControlId list) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        return c ? static_cast<int>(c->rows.size()) : 0;
    });
}

std::string Win32Engine::GetCell(ControlId list, int row, int column) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindCtl(list);
        return c ? c->Cell(row, column) : std::string();
    });
}

void Win32Engine::SetTabData(ControlId tabs, int page, uint32_t value) {
    state_->OnUi([&] {
        if (Ctl* c = state_->FindCtl(tabs)) c->SetTabData(page, value);
    });
}

uint32_t Win32Engine::GetTabData(ControlId tabs, int page) {
    return state_->OnUi([&]() -> uint32_t {
        Ctl* c = state_->FindCtl(tabs);
        return c ? c->TabData(page) : 0;
    });
}

Rect Win32Engine::IcoItemRect(ControlId list, int position) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(list, Kind::IcoListbox);
        if (!c || !c->Item(position)) return Rect{};
        Rect base = layout::AbsoluteRect(*c);
        Rect r = layout::ItemRect(*c, position);
        r.left += base.left;
        r.top += base.top;
        return r;
    });
}

Rect Win32Engine::TabHeaderRect(ControlId tabs, int page) {
    return state_->OnUi([&] {
        Ctl* c = state_->FindKind(tabs, Kind::Selectthefolder);
        if (!c || page < 0 || page >= static_cast<int>(c->pages.size())) return Rect{};
        Rect r = layout::TabHeader(page);
        Rect base = layout::AbsoluteRect(*c);
        r.left += base.left;
        r.top += base.top;
        return r;
    });
}

}  // namespace ui
