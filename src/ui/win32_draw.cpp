// The skin: how every window and control of the Win32 engine looks, and where its parts sit.
#include <algorithm>
#include <cmath>

#include "sys/text.h"
#include "ui/win32_internal.h"

namespace ui::win32 {
namespace {

using Gdiplus::Color;
using Gdiplus::RectF;

// The palette: neutral greys with one accent.
const Color kAccent(255, 37, 99, 235);
const Color kAccentDark(255, 29, 78, 216);
const Color kText(255, 31, 41, 55);
const Color kTextSoft(255, 75, 85, 99);
const Color kTextMuted(255, 107, 114, 128);
const Color kBorder(255, 209, 213, 219);
const Color kHairline(255, 229, 231, 235);
const Color kSurface(255, 255, 255, 255);
const Color kBody(255, 243, 244, 246);
const Color kHover(255, 238, 240, 243);
const Color kPressed(255, 226, 229, 234);
const Color kPlaceholder(255, 229, 231, 235);

const Gdiplus::FontFamily* Family() {
    // Wine draws nothing with a face that is not installed, so the first one that exists wins.
    static const Gdiplus::FontFamily* family = [] {
        for (const wchar_t* name :
             {L"Microsoft YaHei UI", L"Microsoft YaHei", L"WenQuanYi Micro Hei", L"SimSun"}) {
            auto* f = new Gdiplus::FontFamily(name);
            if (f->GetLastStatus() == Gdiplus::Ok && f->IsAvailable())
                return static_cast<const Gdiplus::FontFamily*>(f);
            delete f;
        }
        return Gdiplus::FontFamily::GenericSansSerif();
    }();
    return family;
}

Gdiplus::Font& FontOf(float px, bool bold) {
    static std::map<std::pair<int, bool>, std::unique_ptr<Gdiplus::Font>> fonts;
    auto key = std::make_pair(static_cast<int>(px * 4), bold);
    auto& slot = fonts[key];
    if (!slot)
        slot = std::make_unique<Gdiplus::Font>(
            Family(), px, bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    return *slot;
}

void RoundedPath(Gdiplus::GraphicsPath& path, RectF r, float radius) {
    float d = std::min({radius * 2, r.Width, r.Height});
    if (d <= 0.5f) {
        path.AddRectangle(r);
        return;
    }
    path.AddArc(r.X, r.Y, d, d, 180, 90);
    path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
    path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
    path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
    path.CloseFigure();
}

void FillRound(Gdiplus::Graphics& g, RectF r, float radius, const Color& color) {
    Gdiplus::GraphicsPath path;
    RoundedPath(path, r, radius);
    Gdiplus::SolidBrush brush(color);
    g.FillPath(&brush, &path);
}

void StrokeRound(Gdiplus::Graphics& g, RectF r, float radius, const Color& color, float width = 1.0f) {
    Gdiplus::GraphicsPath path;
    RoundedPath(path, r, radius);
    Gdiplus::Pen pen(color, width);
    g.DrawPath(&pen, &path);
}

RectF F(const Rect& r) {
    return RectF(static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.width),
                 static_cast<float>(r.height));
}

enum class Align { Near, Center };

void Text(Gdiplus::Graphics& g, const std::string& gbk, RectF r, float px, bool bold, const Color& color,
          Align align = Align::Near, bool wrap = false) {
    if (gbk.empty()) return;
    std::wstring text = Wide(gbk);
    Gdiplus::StringFormat format;
    format.SetAlignment(align == Align::Center ? Gdiplus::StringAlignmentCenter
                                               : Gdiplus::StringAlignmentNear);
    format.SetLineAlignment(wrap ? Gdiplus::StringAlignmentNear : Gdiplus::StringAlignmentCenter);
    format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
    if (!wrap) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    Gdiplus::SolidBrush brush(color);
    g.DrawString(text.c_str(), static_cast<INT>(text.size()), &FontOf(px, bold), r, &format, &brush);
}

// The largest size up to `px` at which the text fits the width (never below 10 px): design
// rectangles were laid out for a narrower face than the ones we may get.
float FittingSize(Gdiplus::Graphics& g, const std::string& gbk, float width, float px, bool bold) {
    std::wstring text = Wide(gbk);
    for (; px > 10.0f; px -= 0.5f) {
        RectF bounds;
        g.MeasureString(text.c_str(), static_cast<INT>(text.size()), &FontOf(px, bold), Gdiplus::PointF(0, 0),
                        &bounds);
        if (bounds.Width <= width) break;
    }
    return px;
}

// A picture fitted into the box, keeping its proportions, centred.
void DrawFitted(Gdiplus::Graphics& g, Gdiplus::Bitmap* bitmap, RectF box) {
    if (!bitmap) return;
    float w = static_cast<float>(bitmap->GetWidth()), h = static_cast<float>(bitmap->GetHeight());
    if (w <= 0 || h <= 0) return;
    float k = std::min(box.Width / w, box.Height / h);
    RectF r(box.X + (box.Width - w * k) / 2, box.Y + (box.Height - h * k) / 2, w * k, h * k);
    g.DrawImage(bitmap, r);
}

using layout::AbsoluteRect;
using layout::kTabStripHeight;

void DrawButton(Gdiplus::Graphics& g, const Win& w, const Ctl& c, RectF r) {
    bool hover = w.hover == &c, pressed = hover && w.pressed == &c;
    if (c.image) {
        if (hover) {
            bool close = c.design.role == Role::Close;
            FillRound(g, r, 6, close ? Color(255, 254, 226, 226) : (pressed ? kPressed : kHover));
        }
        DrawFitted(g, c.image->Current(), r);
        return;
    }
    float px = FittingSize(g, c.caption, r.Width - 10, r.Height >= 30 ? 14.0f : 13.0f, false);
    RectF box(r.X + 0.5f, r.Y + 0.5f, r.Width - 1, r.Height - 1);
    if (c.design.accent) {
        FillRound(g, box, 6, pressed ? Color(255, 30, 64, 175) : (hover ? kAccentDark : kAccent));
        Text(g, c.caption, r, px, false, Color(255, 255, 255, 255), Align::Center);
    } else {
        FillRound(g, box, 6, pressed ? kPressed : (hover ? Color(255, 249, 250, 251) : kSurface));
        StrokeRound(g, box, 6, hover ? Color(255, 156, 163, 175) : kBorder);
        Text(g, c.caption, r, px, false, kText, Align::Center);
    }
}

void DrawRadio(Gdiplus::Graphics& g, const Win& w, const Ctl& c, RectF r) {
    bool hover = w.hover == &c;
    if (c.image) {
        if (c.value && c.imageOn) {
            DrawFitted(g, c.imageOn->Current(), r);
        } else {
            if (hover) FillRound(g, r, r.Height / 2, kHover);
            DrawFitted(g, c.image->Current(), r);
        }
        return;
    }
    float d = 16;
    RectF dot(r.X + 1, r.Y + (r.Height - d) / 2, d, d);
    Gdiplus::SolidBrush white(kSurface);
    g.FillEllipse(&white, dot);
    Gdiplus::Pen ring(c.value ? kAccent : (hover ? Color(255, 107, 114, 128) : Color(255, 156, 163, 175)),
                      1.5f);
    g.DrawEllipse(&ring, dot);
    if (c.value) {
        Gdiplus::SolidBrush fill(kAccent);
        g.FillEllipse(&fill, RectF(dot.X + 4, dot.Y + 4, d - 8, d - 8));
    }
    // The caption may run past the design width rather than lose its last character.
    Text(g, c.caption, RectF(r.X + d + 6, r.Y, r.Width - d - 6 + 32, r.Height), 13, false, kText);
}

void DrawCheckbox(Gdiplus::Graphics& g, const Win& w, const Ctl& c, RectF r) {
    float d = 16;
    RectF box(r.X + 1, r.Y + (r.Height - d) / 2, d, d);
    if (c.value) {
        FillRound(g, box, 3, kAccent);
        // The tick, in white over the accent.
        Gdiplus::Pen tick(kSurface, 2);
        Gdiplus::PointF points[] = {
            {box.X + 3.5f, box.Y + 8.5f}, {box.X + 6.5f, box.Y + 11.5f}, {box.X + 12.5f, box.Y + 4.5f}};
        g.DrawLines(&tick, points, 3);
    } else {
        Gdiplus::GraphicsPath path;
        RoundedPath(path, box, 3);
        Gdiplus::SolidBrush white(kSurface);
        g.FillPath(&white, &path);
        Gdiplus::Pen frame(w.hover == &c ? Color(255, 107, 114, 128) : Color(255, 156, 163, 175), 1.5f);
        g.DrawPath(&frame, &path);
    }
    Text(g, c.caption, RectF(r.X + d + 6, r.Y, r.Width - d - 6 + 32, r.Height), 13, false, kText);
}

void DrawProgress(Gdiplus::Graphics& g, const Ctl& c, RectF r) {
    float h = std::min(r.Height, 10.0f);
    RectF track(r.X, r.Y + (r.Height - h) / 2, r.Width, h);
    FillRound(g, track, h / 2, kHairline);
    int v = std::clamp(c.value, 0, 100);
    if (v > 0) {
        RectF fill(track.X, track.Y, std::max(h, track.Width * v / 100.0f), h);
        Gdiplus::LinearGradientBrush brush(fill, kAccent, Color(255, 124, 58, 237),
                                           Gdiplus::LinearGradientModeHorizontal);
        Gdiplus::GraphicsPath path;
        RoundedPath(path, fill, h / 2);
        g.FillPath(&brush, &path);
    }
}

void DrawFieldFrame(Gdiplus::Graphics& g, RectF r) {
    RectF box(r.X + 0.5f, r.Y + 0.5f, r.Width - 1, r.Height - 1);
    FillRound(g, box, 4, kSurface);
    StrokeRound(g, box, 4, kBorder);
}

void DrawPlaceholderGlyph(Gdiplus::Graphics& g, RectF r) {
    float s = std::min(r.Width, r.Height) * 0.22f;
    float cx = r.X + r.Width / 2, cy = r.Y + r.Height / 2;
    Gdiplus::SolidBrush brush(Color(255, 209, 213, 219));
    Gdiplus::PointF mountain[] = {{cx - s * 1.2f, cy + s * 0.6f},
                                  {cx - s * 0.3f, cy - s * 0.5f},
                                  {cx + s * 0.3f, cy + s * 0.2f},
                                  {cx + s * 0.6f, cy - s * 0.1f},
                                  {cx + s * 1.2f, cy + s * 0.6f}};
    g.FillPolygon(&brush, mountain, 5);
    g.FillEllipse(&brush, RectF(cx + s * 0.35f, cy - s * 0.85f, s * 0.45f, s * 0.45f));
}

void DrawIcoList(Gdiplus::Graphics& g, const Ctl& c, RectF r) {
    Gdiplus::GraphicsState saved = g.Save();
    g.IntersectClip(r);
    int first = 0;
    int count = static_cast<int>(c.items.size());
    for (int i = first; i < count; ++i) {
        Rect ir = layout::ItemRect(c, i);
        RectF box(r.X + ir.left, r.Y + ir.top, static_cast<float>(ir.width), static_cast<float>(ir.height));
        if (box.Y > r.Y + r.Height) break;
        if (box.Y + box.Height < r.Y) continue;
        bool hover = c.hoverPart == i;
        // A soft shadow lifts the card off the page.
        FillRound(g, RectF(box.X, box.Y + 2, box.Width, box.Height), 10, Color(hover ? 40 : 22, 17, 24, 39));
        Gdiplus::GraphicsPath path;
        RoundedPath(path, box, 10);
        const ItemModel& item = c.items[i];
        if (Gdiplus::Bitmap* picture = BitmapOf(item.image)) {
            Gdiplus::GraphicsState inner = g.Save();
            g.SetClip(&path, Gdiplus::CombineModeIntersect);
            g.DrawImage(picture, box);
            g.Restore(inner);
        } else {
            Gdiplus::SolidBrush ph(kPlaceholder);
            g.FillPath(&ph, &path);
            DrawPlaceholderGlyph(g, box);
        }
        if (!item.title.empty()) {
            RectF band(box.X, box.Y + box.Height - 30, box.Width, 30);
            Gdiplus::LinearGradientBrush shade(band, Color(0, 0, 0, 0), Color(150, 0, 0, 0),
                                               Gdiplus::LinearGradientModeVertical);
            g.FillRectangle(&shade, band);
            Text(g, item.title, RectF(band.X + 10, band.Y, band.Width - 80, band.Height), 13, false,
                 kSurface);
        }
        if (hover) {
            Gdiplus::Pen ring(kAccent, 2);
            g.DrawPath(&ring, &path);
        }
        for (const auto& [kind, elem] : c.elems) {
            auto e = item.elem.find(kind);
            Gdiplus::Bitmap* button = e == item.elem.end() ? nullptr : BitmapOf(e->second);
            if (!elem.hasAttribute || !button) continue;
            RectF er(box.X + elem.rect.left, box.Y + elem.rect.top, static_cast<float>(elem.rect.width),
                     static_cast<float>(elem.rect.height));
            g.DrawImage(button, er);
            if (hover && c.hoverElem) FillRound(g, er, 8, Color(40, 255, 255, 255));
        }
    }
    Rect thumb = layout::ThumbRect(c);
    if (thumb.height > 0)
        FillRound(g, RectF(r.X + thumb.left, r.Y + thumb.top, 6, static_cast<float>(thumb.height)), 3,
                  Color(120, 107, 114, 128));
    g.Restore(saved);
}

void DrawTabs(Gdiplus::Graphics& g, const Win& w, const Ctl& c, RectF r) {
    Gdiplus::Pen line(kHairline, 1);
    g.DrawLine(&line, r.X + 16, r.Y + kTabStripHeight - 1, r.X + r.Width - 16, r.Y + kTabStripHeight - 1);
    for (int i = 0; i < static_cast<int>(c.pages.size()); ++i) {
        Rect h = layout::TabHeader(i);
        RectF hr(r.X + h.left, r.Y + h.top, static_cast<float>(h.width), static_cast<float>(h.height));
        bool selected = c.value == i;
        bool hover = w.hover == &c && c.hoverPart == i;
        if (hover && !selected) FillRound(g, RectF(hr.X, hr.Y + 8, hr.Width, hr.Height - 16), 8, kHover);
        Text(g, c.pages[i]->caption, hr, 15, selected, selected ? kAccent : (hover ? kText : kTextSoft),
             Align::Center);
        if (selected)
            FillRound(g, RectF(hr.X + 18, r.Y + kTabStripHeight - 4, hr.Width - 36, 3), 1.5f, kAccent);
    }
}

void DrawControl(Gdiplus::Graphics& g, const Win& w, const Ctl& c) {
    RectF r = F(AbsoluteRect(c));
    switch (c.design.kind) {
        case Kind::WindowEx:
        case Kind::Timer:
        case Kind::Menu:
        case Kind::CommonDialog:
        case Kind::SuperListbox:
        case Kind::Combobox:
            break;
        case Kind::PictureBox:
        case Kind::Icon: {
            Gdiplus::Bitmap* b = c.picture ? c.picture->Current() : (c.image ? c.image->Current() : nullptr);
            if (b) {
                DrawFitted(g, b, r);
            } else if (c.design.role == Role::Preview) {
                FillRound(g, r, 10, kBody);
                DrawPlaceholderGlyph(g, r);
            }
            break;
        }
        case Kind::Label:
            if (c.design.role == Role::Title)
                Text(g, c.caption, RectF(r.X, r.Y - 2, r.Width + 40, r.Height + 4), 16, true, kText);
            else {
                bool wrap = r.Height >= 40 || c.caption.find('\n') != std::string::npos;
                float spare = std::max(0.0f, std::min(24.0f, w.design.width - 6 - (r.X + r.Width)));
                RectF room = wrap ? r : RectF(r.X, r.Y, r.Width + spare, r.Height);
                Text(g, c.caption, room, 13, false, kTextSoft, Align::Near, wrap);
            }
            break;
        case Kind::TransLabel:
            if (c.design.role == Role::Separator) {
                float bottom = std::min(r.Y + r.Height, static_cast<float>(w.design.height)) - 16;
                Gdiplus::Pen pen(kHairline, 1);
                g.DrawLine(&pen, r.X + r.Width / 2, r.Y + 48, r.X + r.Width / 2, bottom);
            } else {
                Text(g, c.caption, r, 13, false, kTextSoft, Align::Near, true);
            }
            break;
        case Kind::Button:
            DrawButton(g, w, c, r);
            break;
        case Kind::Radiobutton:
            DrawRadio(g, w, c, r);
            break;
        case Kind::Checkbox:
            DrawCheckbox(g, w, c, r);
            break;
        case Kind::Progressbar:
            DrawProgress(g, c, r);
            break;
        case Kind::Editbox:
            DrawFieldFrame(g, r);
            break;
        case Kind::IcoListbox:
            DrawIcoList(g, c, r);
            break;
        case Kind::Selectthefolder:
            DrawTabs(g, w, c, r);
            break;
    }
}

void DrawSkin(Gdiplus::Graphics& g, const Win& w) {
    float width = static_cast<float>(w.design.width), height = static_cast<float>(w.design.height);
    Gdiplus::SolidBrush surface(kSurface);
    g.FillRectangle(&surface, RectF(0, 0, width, height));
    if (w.design.role == WindowRole::Main) {
        // The main window: a white header over a soft grey body.
        Gdiplus::SolidBrush body(kBody);
        g.FillRectangle(&body, RectF(0, 60, width, height - 60));
        Gdiplus::Pen line(kHairline, 1);
        g.DrawLine(&line, 0.0f, 60.5f, width, 60.5f);
    }
    Gdiplus::Pen border(kBorder, 1);
    g.DrawRectangle(&border, RectF(0.5f, 0.5f, width - 1, height - 1));
    // A window whose design has no title line of its own shows its title in the skin.
    bool titled = std::any_of(w.controls.begin(), w.controls.end(),
                              [](const auto& c) { return c->design.role == Role::Title; });
    if (!titled && w.design.role != WindowRole::Main) {
        std::string title = w.design.title;
        // A trail byte may equal '_': the search has to know GBK.
        int cut = sys::FindLast(title, "_");
        if (cut > 0) title = title.substr(0, cut - 1) + " \xA1\xA4 " + title.substr(cut);  // GBK middle dot
        Text(g, title, RectF(16, 8, width - 64, 24), 14, true, kText);
    }
    Rect close = layout::CloseBoxRect(w.design);
    if (close.width > 0) {
        RectF cr = F(close);
        if (w.closeHover)
            FillRound(g, cr, 6, w.closePressed ? Color(255, 185, 28, 28) : Color(255, 232, 17, 35));
        Gdiplus::Pen x(w.closeHover ? kSurface : kTextSoft, 1.4f);
        float cx = cr.X + cr.Width / 2, cy = cr.Y + cr.Height / 2, s = 5;
        g.DrawLine(&x, cx - s, cy - s, cx + s, cy + s);
        g.DrawLine(&x, cx - s, cy + s, cx + s, cy - s);
    }
}

}  // namespace

void PaintWindow(Win& w, HDC dc, const RECT& dirty) {
    Gdiplus::Graphics g(dc);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    g.ScaleTransform(static_cast<float>(w.scale), static_cast<float>(w.scale));
    DrawSkin(g, w);
    RectF clip(static_cast<float>(dirty.left / w.scale) - 2, static_cast<float>(dirty.top / w.scale) - 2,
               static_cast<float>((dirty.right - dirty.left) / w.scale) + 4,
               static_cast<float>((dirty.bottom - dirty.top) / w.scale) + 4);
    for (const auto& c : w.controls) {
        if (!layout::Shown(*c)) continue;
        RectF r = F(AbsoluteRect(*c));
        if (!r.IntersectsWith(clip)) continue;
        DrawControl(g, w, *c);
    }
}

}  // namespace ui::win32
