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
#include "ui/SpokenNames.h"

namespace ui {

FormSpec::FormSpec() : cancelText(CancelText()) {}

namespace {
struct FieldLayout {
    RECT label{};  // a text field's label; empty for a check box
    RECT box{};
    HWND control = nullptr;
};

// Design lengths (96 DPI): the margin around the fields, the client width
// of a form without bands, the narrowest column of a band and the gap
// between a band's columns.
constexpr int32_t kMargin = 22, kPlainWidth = 540, kNarrowestColumn = 360, kColumnGap = 24;

// What the placement needs to know of a field, in device pixels.
struct FieldShape {
    bool check = false;
    FieldPlace place = FieldPlace::Whole;
    bool reasonRoom = false;  // a refused value's reason shows under the box
    int32_t labelWidth = 0;   // the label's text, or a check box with its caption
};

// A band's columns are as wide as their widest label (so that no label of
// either language is cut), at least the narrowest column; whole rows span
// both. A form without bands keeps its one column.
int32_t FormWidth(const std::vector<FieldShape>& shapes) {
    int32_t column = 0;
    bool band = false;
    for (const FieldShape& f : shapes) {
        if (f.place == FieldPlace::Whole) continue;
        band = true;
        column = std::max(column, f.labelWidth);
    }
    if (!band) return Scale(kPlainWidth);
    return Scale(kMargin) * 2 + std::max(column, Scale(kNarrowestColumn)) * 2 + Scale(kColumnGap);
}

// The fields in rows: a whole field alone, or the k-th fields of a band's
// two columns side by side (so that their labels line up). Indices into
// the fields; kNone where a column has no k-th field.
constexpr size_t kNone = SIZE_MAX;
struct FormRow {
    size_t left = kNone, right = kNone;  // a whole field stands as left
};

std::vector<FormRow> FormRows(const std::vector<FieldShape>& shapes) {
    std::vector<FormRow> rows;
    for (size_t i = 0; i < shapes.size();) {
        if (shapes[i].place == FieldPlace::Whole) {
            rows.push_back(FormRow{i++, kNone});
            continue;
        }
        const size_t first = rows.size();
        size_t count[2] = {};
        for (; i < shapes.size() && shapes[i].place != FieldPlace::Whole; ++i) {
            const bool right = shapes[i].place == FieldPlace::Right;
            if (first + count[right] == rows.size()) rows.emplace_back();
            (right ? rows[first + count[1]].right : rows[first + count[0]].left) = i;
            ++count[right];
        }
    }
    return rows;
}

// Places the fields top down from `top` in a client `width` wide; answers
// the bottom of the last row. A row is as tall as its taller field.
int32_t PlaceFields(const std::vector<FieldShape>& shapes, int32_t width, int32_t top, std::vector<FieldLayout>& out) {
    const int32_t m = Scale(kMargin);
    const int32_t column = (width - 2 * m - Scale(kColumnGap)) / 2;
    out.assign(shapes.size(), FieldLayout{});
    int32_t y = top;
    bool afterChecks = false;  // the row above holds check boxes only
    for (const FormRow& row : FormRows(shapes)) {
        bool checks = true;
        for (size_t i : {row.left, row.right})
            if (i != kNone) checks = checks && shapes[i].check;
        // Check boxes sit close together; a label after them needs the gap
        // a box leaves below itself.
        if (afterChecks && !checks) y += Scale(8);
        int32_t bottom = y;
        for (size_t i : {row.left, row.right}) {
            if (i == kNone) continue;
            const FieldShape& f = shapes[i];
            const int32_t left = f.place == FieldPlace::Right ? m + column + Scale(kColumnGap) : m;
            const int32_t right = f.place == FieldPlace::Whole ? width - m : left + column;
            FieldLayout& l = out[i];
            if (f.check) {
                l.box = RECT{left, y, right, y + Scale(28)};
                bottom = std::max(bottom, y + Scale(28) + Scale(4));
            } else {
                l.label = RECT{left, y, right, y + Scale(18)};
                const int32_t t = y + Scale(18) + Scale(5);
                l.box = RECT{left, t, right, t + Scale(34)};
                bottom = std::max(bottom, t + Scale(34) + Scale(12) + (f.reasonRoom ? Scale(18) : 0));
            }
        }
        y = bottom;
        afterChecks = checks;
    }
    return y;
}

class FormDialogImpl final : public Dialog {
public:
    explicit FormDialogImpl(FormSpec& spec) : spec_(spec) {}

    bool Show(HWND owner) {
        std::vector<FieldShape> shapes;
        for (size_t i = 0; i < spec_.fields.size(); ++i) {
            const FormField& f = spec_.fields[i];
            const bool check = f.kind == FieldKind::Check;
            // A check box's caption starts after its box and gap (Buttons.cpp).
            const int32_t label = check ? Scale(26) + MeasureTextWidth(f.label, 4).cx : MeasureTextWidth(f.label, 3).cx;
            shapes.push_back(FieldShape{check, f.place, !check && IsChecked(i), label});
        }
        width_ = FormWidth(shapes);
        const int m = Scale(kMargin);
        int y = m;
        if (!spec_.intro.empty()) {
            intro_ = RECT{m, m, width_ - m, m + MeasureTextHeight(spec_.intro, 2, width_ - 2 * m)};
            y = intro_.bottom + Scale(14);
        }
        y = PlaceFields(shapes, width_, y, layout_);
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
                CreateNameLabel(window_, f.label);  // the box's name for a screen reader: its drawn label
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
