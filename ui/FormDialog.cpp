#include "ui/FormDialog.h"

#include <algorithm>

#include "store/Lang.h"
#include "store/Text.h"
#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/ControlText.h"
#include "ui/Dialog.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/PasteHook.h"

namespace ui {

FormSpec::FormSpec() : cancelText(CancelText()) {}

namespace {
struct FieldLayout {
    RECT label{};
    RECT box{};
    HWND control = nullptr;
};

class FormDialogImpl final : public Dialog {
public:
    explicit FormDialogImpl(FormSpec& spec) : spec_(spec) {}

    bool Show(HWND owner) {
        width_ = Scale(540);
        const int m = Scale(22);
        int y = m;
        if (!spec_.intro.empty()) {
            intro_ = RECT{m, m, width_ - m, m + MeasureTextHeight(spec_.intro, 2, width_ - 2 * m)};
            y = intro_.bottom + Scale(14);
        }
        bool afterCheck = false;
        for (const FormField& f : spec_.fields) {
            FieldLayout l;
            if (f.kind == FieldKind::Check) {
                l.box = RECT{m, y, width_ - m, y + Scale(28)};
                y += Scale(28) + Scale(4);
            } else {
                // Check boxes sit close together; a label after them needs
                // the gap a box leaves below itself.
                if (afterCheck) y += Scale(8);
                l.label = RECT{m, y, width_ - m, y + Scale(18)};
                const int t = y + Scale(18) + Scale(5);
                l.box = RECT{m, t, width_ - m, t + Scale(34)};
                y = t + Scale(34) + Scale(12);
                if (IsChecked(layout_.size())) y += Scale(18);  // room for the reason under the box
            }
            afterCheck = f.kind == FieldKind::Check;
            layout_.push_back(l);
        }
        height_ = y + Scale(8) + Scale(64);
        return RunModal(owner, spec_.title, width_, height_) == 1;
    }

private:
    void OnCreate() override {
        const HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr));
        for (size_t i = 0; i < spec_.fields.size(); ++i) {
            const FormField& f = spec_.fields[i];
            FieldLayout& l = layout_[i];
            const int id = 200 + static_cast<int>(i);
            if (f.kind == FieldKind::Text) {
                const int line = LineHeightOf(4);
                l.control = ::CreateWindowExW(0, L"EDIT", f.value.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                              l.box.left + Scale(10), l.box.top + (l.box.bottom - l.box.top - line) / 2,
                                              l.box.right - l.box.left - Scale(20), line, window_,
                                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
                ::SendMessageW(l.control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(4)), FALSE);
                if (spec_.paste) HookPaste(l.control, [this, i] { return Paste(i); });
            } else {
                ButtonStyle style;
                style.kind = ButtonKind::Check;
                style.background = 2;
                style.font = 4;
                l.control = CreateStyledButton(window_, id, f.label.c_str(), style);
                ::MoveWindow(l.control, l.box.left, l.box.top, l.box.right - l.box.left, l.box.bottom - l.box.top, FALSE);
                SetButtonChecked(l.control, f.ticked);
            }
        }
        const int height = Scale(34);
        const int top = (Scale(64) - height) / 2 + height_ - Scale(64);
        const int ok = std::max<int>(Scale(110), MeasureTextWidth(spec_.okText, 3).cx + Scale(36));
        const int cancel = std::max<int>(Scale(100), MeasureTextWidth(spec_.cancelText, 3).cx + Scale(34));
        ButtonStyle style;
        style.background = 3;
        style.font = 3;
        HWND c = CreateStyledButton(window_, IDCANCEL, spec_.cancelText.c_str(), style);
        ::MoveWindow(c, width_ - cancel - ok - Scale(8) - Scale(20), top, cancel, height, FALSE);
        style.kind = ButtonKind::Accent;
        okButton_ = CreateStyledButton(window_, IDOK, spec_.okText.c_str(), style);
        ::MoveWindow(okButton_, width_ - ok - Scale(20), top, ok, height, FALSE);
    }

    void OnPaint(Surface& s, int, int) override {
        if (!spec_.intro.empty()) SurfaceText(s, spec_.intro, intro_, 2, PaletteColor(8), kParagraphFlags);
        const HWND focus = ::GetFocus();
        for (size_t i = 0; i < spec_.fields.size(); ++i) {
            if (spec_.fields[i].kind != FieldKind::Text) continue;
            const FieldLayout& l = layout_[i];
            SurfaceText(s, spec_.fields[i].label, l.label, 3, PaletteColor(7), kLabelFlags);
            const bool refused = static_cast<int32_t>(i) == refusedField_;
            SurfaceRoundRect(s, l.box, Scale(8), PaletteColor(9),
                             refused ? kRed : l.control && focus == l.control ? kBlue : PaletteColor(6), 255, 255);
            if (refused)
                SurfaceText(s, refusalText_, RECT{l.box.left, l.box.bottom + Scale(3), l.box.right, l.box.bottom + Scale(21)}, 2,
                            kRed, kLabelFlags);
        }
    }

    void OnCommand(int id, int code) override {
        if (id == IDOK) {
            Accept();
            return;
        }
        const size_t i = static_cast<size_t>(id - 200);
        if (id < 200 || i >= spec_.fields.size()) return;
        const FieldLayout& l = layout_[i];
        if (spec_.fields[i].kind == FieldKind::Check) {
            if (code == BN_CLICKED) SetButtonChecked(l.control, !IsButtonChecked(l.control));
        } else if (code == EN_SETFOCUS || code == EN_KILLFOCUS) {
            ::InvalidateRect(window_, &l.box, FALSE);  // the frame follows the caret
        }
    }

    void Accept() {
        for (size_t i = 0; i < spec_.fields.size(); ++i) {
            const FormField& f = spec_.fields[i];
            if (f.kind == FieldKind::Text && f.required && Trim(GetWindowTextString(layout_[i].control)).empty()) {
                ::MessageBeep(MB_ICONEXCLAMATION);
                ::SetFocus(layout_[i].control);
                return;
            }
            const std::wstring why = f.kind == FieldKind::Text && IsChecked(i)
                                         ? spec_.refusal(i, Trim(GetWindowTextString(layout_[i].control)))
                                         : std::wstring();
            if (!why.empty()) {
                refusalText_ = why;
                refusedField_ = static_cast<int32_t>(i);
                ::MessageBeep(MB_ICONEXCLAMATION);
                ::SetFocus(layout_[i].control);
                ::InvalidateRect(window_, nullptr, FALSE);
                return;
            }
        }
        for (size_t i = 0; i < spec_.fields.size(); ++i) {
            FormField& f = spec_.fields[i];
            if (f.kind == FieldKind::Text) f.value = Trim(GetWindowTextString(layout_[i].control));
            else f.ticked = IsButtonChecked(layout_[i].control);
        }
        CloseDialog(1);
    }

    bool Paste(size_t index) {
        std::vector<std::wstring> values(spec_.fields.size());
        for (size_t i = 0; i < spec_.fields.size(); ++i)
            if (spec_.fields[i].kind == FieldKind::Text) values[i] = Trim(GetWindowTextString(layout_[i].control));
        const PasteOutcome outcome = spec_.paste(index, window_, values);
        if (outcome == PasteOutcome::CloseForm) CloseDialog(2);
        return outcome != PasteOutcome::Paste;
    }

    HWND InitialFocus() override {
        for (size_t i = 0; i < spec_.fields.size(); ++i) {
            if (spec_.fields[i].kind != FieldKind::Text) continue;
            ::SendMessageW(layout_[i].control, EM_SETSEL, 0, -1);
            return layout_[i].control;
        }
        return okButton_;
    }

public:
    const std::wstring& RefusalText() const { return refusalText_; }

private:
    bool IsChecked(size_t i) const {
        return spec_.refusal && std::find(spec_.checked.begin(), spec_.checked.end(), i) != spec_.checked.end();
    }

private:
    FormSpec& spec_;
    std::vector<FieldLayout> layout_;
    std::wstring refusalText_;
    int32_t refusedField_ = -1;
    RECT intro_{};
    HWND okButton_ = nullptr;
    int32_t width_ = 0, height_ = 0;
};
}  // namespace

std::wstring FormRefusalText(HWND dialog) {
    const auto* d = dynamic_cast<const FormDialogImpl*>(DialogOf(dialog));
    return d ? d->RefusalText() : std::wstring();
}

bool ShowFormDialog(HWND owner, FormSpec& spec) {
    FormDialogImpl dialog(spec);
    return dialog.Show(owner);
}

}  // namespace ui
