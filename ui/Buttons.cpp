#include "ui/Buttons.h"

#include <string>
#include <unordered_map>

#include "ui/Colors.h"
#include "ui/ControlText.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Surface.h"

namespace {
struct ButtonRecord {
    ButtonStyle style;
    WNDPROC previous = nullptr;
    bool hover = false;
    bool ticked = false;
};
std::unordered_map<HWND, ButtonRecord> g_buttons;

ButtonRecord* Find(HWND button) {
    const auto it = g_buttons.find(button);
    return it == g_buttons.end() ? nullptr : &it->second;
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    ButtonRecord* record = Find(window);
    if (!record) return ::DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC previous = record->previous;
    switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_GETDLGCODE:
            if (record->style.kind == ButtonKind::Check) return DLGC_BUTTON;
            // A focused push button calls itself the default one: the dialog
            // manager then sends its own id on Enter. Wine sends IDOK for an
            // "undefault" button, so Enter on a focused Cancel would accept.
            return ::GetFocus() == window ? DLGC_BUTTON | DLGC_DEFPUSHBUTTON : DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BM_SETSTYLE: return 0;  // the dialog manager must not replace BS_OWNERDRAW
        case WM_MOUSEMOVE:
            if (!record->hover) {
                record->hover = true;
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
                ::TrackMouseEvent(&track);
                ::InvalidateRect(window, nullptr, FALSE);
            }
            break;
        case WM_MOUSELEAVE:
            record->hover = false;
            ::InvalidateRect(window, nullptr, FALSE);
            break;
        case WM_LBUTTONDBLCLK:
            // A fast second click is a second press.
            return ::CallWindowProcW(previous, window, WM_LBUTTONDOWN, wParam, lParam);
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            g_buttons.erase(window);
            return ::CallWindowProcW(previous, window, message, wParam, lParam);
        default: break;
    }
    return ::CallWindowProcW(previous, window, message, wParam, lParam);
}

void PaintCheck(Surface& s, const ButtonRecord& r, const std::wstring& caption, COLORREF bg, COLORREF text,
                bool disabled, bool hot, bool ring) {
    const int w = s.width(), h = s.height(), b = Scale(18);
    const RECT box{0, (h - b) / 2, b, (h - b) / 2 + b};
    if (r.ticked) {
        SurfaceRoundRect(s, box, Scale(5), disabled ? MixColors(bg, kBlue, 112) : kBlue, ring ? PaletteColor(7) : NoColor,
                         255, 255);
        DrawIcon(s, 25, Scale(2), box.top + Scale(2), b - Scale(4), kWhite);
    } else {
        SurfaceRoundRect(s, box, Scale(5), PaletteColor(9),
                         ring || hot ? kBlue : MixColors(PaletteColor(6), PaletteColor(7), 80), 255, 255);
    }
    SurfaceText(s, caption, RECT{b + Scale(8), 0, w, h}, r.style.font, text, kLabelFlags);
}

void PaintButton(const DRAWITEMSTRUCT& item) {
    const ButtonRecord* record = Find(item.hwndItem);
    const int w = item.rcItem.right - item.rcItem.left, h = item.rcItem.bottom - item.rcItem.top;
    if (!record || w < 1 || h < 1) return;
    const ButtonRecord& r = *record;
    const bool disabled = item.itemState & ODS_DISABLED;
    const bool pressed = (item.itemState & ODS_SELECTED) && !disabled;
    const bool hot = r.hover && !disabled;
    // Shown whenever the button has the focus, whatever Windows says of
    // keyboard cues (UISF_HIDEFOCUS): one who works by keys must see where they are.
    const bool ring = item.itemState & ODS_FOCUS;
    const int entry = r.style.background >= 0 && r.style.background <= 3 ? r.style.background : 2;
    const COLORREF bg = PaletteColor(entry);
    Surface s = SurfaceCreate(w, h);
    SurfaceFill(s, RECT{0, 0, w, h}, bg);
    const ButtonColors c = ButtonColorsFor(r.style.kind, bg, disabled, pressed, hot, ring);
    if (c.fill != NoColor || c.border != NoColor) SurfaceRoundRect(s, RECT{0, 0, w, h}, Scale(8), c.fill, c.border, 255, 255);
    const std::wstring caption = GetWindowTextString(item.hwndItem);
    if (r.style.kind == ButtonKind::Check) {
        PaintCheck(s, r, caption, bg, c.text, disabled, hot, ring);
    } else {
        const int i = r.style.icon ? Scale(15) : 0;
        const int g = r.style.icon && !caption.empty() ? Scale(7) : 0;
        const int t = caption.empty() ? 0 : MeasureTextWidth(caption, r.style.font).cx;
        int x = r.style.leftAligned ? Scale(11) : std::max(Scale(6), (w - t - g - i) / 2);
        if (r.style.icon) DrawIcon(s, r.style.icon, x, (h - i) / 2, i, c.text);
        x += i + g;
        if (!caption.empty()) SurfaceText(s, caption, RECT{x, 0, w - Scale(6), h}, r.style.font, c.text, kLabelFlags);
    }
    SurfaceBlit(s, item.hDC, item.rcItem.left, item.rcItem.top);
}
}  // namespace

ButtonColors ButtonColorsFor(ButtonKind kind, COLORREF bg, bool disabled, bool pressed, bool hot, bool ring) {
    ButtonColors c{NoColor, NoColor, PaletteColor(7)};
    switch (kind) {
        case ButtonKind::Normal:
            c.fill = PaletteColor(pressed ? 5 : hot ? 4 : 2);
            c.border = PaletteColor(6);
            break;
        case ButtonKind::Accent:
            c.fill = pressed ? kPressedIndigo : hot ? kHoverBlue : kBlue;
            c.text = kWhite;
            break;
        case ButtonKind::Danger:
            if (pressed || hot) {
                c.fill = kRed;
                c.text = kWhite;
            } else {
                c.fill = MixColors(bg, kRed, 32);
                c.border = MixColors(bg, kRed, 85);
                c.text = kRed;
            }
            break;
        case ButtonKind::Check: break;
    }
    // An accent fill is the ring's blue itself; in high contrast the ring of
    // an accent button takes the text colour, so that it shows.
    if (ring && kind != ButtonKind::Check) c.border = IsHighContrast() && kind == ButtonKind::Accent ? PaletteColor(7) : COLORREF{kBlue};
    if (disabled) {
        if (c.fill != NoColor) c.fill = MixColors(bg, c.fill, 112);
        if (c.border != NoColor) c.border = MixColors(bg, c.border, 112);
        c.text = MixColors(bg, c.text, 112);
    }
    return c;
}

HWND CreateStyledButton(HWND parent, int id, const wchar_t* text, const ButtonStyle& style) {
    HWND button = ::CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0,
                                    parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr)), nullptr);
    if (!button) return nullptr;
    ButtonRecord& r = g_buttons[button];
    r = ButtonRecord{};
    r.style = style;
    r.previous = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(button, GWLP_WNDPROC));
    ::SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc));
    return button;
}

void SetButtonChecked(HWND button, bool checked) {
    ButtonRecord* r = Find(button);
    if (!r || r->ticked == checked) return;
    r->ticked = checked;
    ::InvalidateRect(button, nullptr, FALSE);
}

bool IsButtonChecked(HWND button) {
    const ButtonRecord* r = Find(button);
    return r && r->ticked;
}

void SetButtonIcon(HWND button, int32_t icon) {
    ButtonRecord* r = Find(button);
    if (!r) return;
    r->style.icon = icon;
    ::InvalidateRect(button, nullptr, FALSE);
}

int32_t ButtonIcon(HWND button) {
    const ButtonRecord* r = Find(button);
    return r ? r->style.icon : 0;
}

bool IsStyledButton(HWND button) { return Find(button) != nullptr; }

bool HandleOwnerDraw(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message != WM_DRAWITEM) return false;
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (!item || item->CtlType != ODT_BUTTON) return false;
    PaintButton(*item);
    result = TRUE;
    return true;
}
