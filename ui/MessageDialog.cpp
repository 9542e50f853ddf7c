#include "ui/MessageDialog.h"

#include <algorithm>
#include <cwchar>

#include "ui/Buttons.h"
#include "ui/Colors.h"
#include "ui/Dialog.h"
#include "ui/Dpi.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

namespace ui {

namespace {
class MessageDialogImpl final : public Dialog {
public:
    MessageDialogImpl(const std::wstring& message, MessageIcon icon, const std::vector<std::wstring>& buttons,
                      int dangerIndex, int focusIndex, const Countdown* countdown = nullptr)
        : message_(message),
          icon_(icon),
          buttons_(buttons),
          dangerIndex_(dangerIndex),
          focusIndex_(focusIndex),
          countdown_(countdown),
          left_(countdown ? countdown->seconds : 0) {}

    int Show(HWND owner, const std::wstring& title) {
        width_ = Scale(500);
        textLeft_ = Scale(22) + Scale(36) + Scale(14);
        const int textWidth = width_ - textLeft_ - Scale(22);
        textHeight_ = std::min(std::max<int>(Scale(36), MeasureTextHeight(message_, 4, textWidth)), Scale(380));
        height_ = textHeight_ + Scale(64) + Scale(22) + Scale(22);
        return RunModal(owner, title, width_, height_);
    }

    const std::wstring& Message() const { return message_; }

private:
    void OnCreate() override {
        if (countdown_) ::SetTimer(window_, 1, 1000, nullptr);
        const int height = Scale(34);
        const int top = (Scale(64) - height) / 2 + height_ - Scale(64);
        std::vector<int> widths;
        int total = 0;
        for (const std::wstring& text : buttons_) {
            widths.push_back(std::max<int>(Scale(100), MeasureTextWidth(text, 3).cx + Scale(34)));
            total += widths.back() + Scale(8);
        }
        handles_.assign(buttons_.size(), nullptr);
        int x = width_ - Scale(20) - total + Scale(8);
        // From the last to the first: the first ends up rightmost.
        for (int i = static_cast<int>(buttons_.size()) - 1; i >= 0; --i) {
            ButtonStyle style;
            style.kind = i == dangerIndex_ ? ButtonKind::Danger : i == 0 ? ButtonKind::Accent : ButtonKind::Normal;
            style.background = 3;
            style.font = 3;
            HWND b = CreateStyledButton(window_, 100 + i, buttons_[static_cast<size_t>(i)].c_str(), style);
            ::MoveWindow(b, x, top, widths[static_cast<size_t>(i)], height, FALSE);
            handles_[static_cast<size_t>(i)] = b;
            x += widths[static_cast<size_t>(i)] + Scale(8);
        }
    }

    void OnPaint(Surface& s, int width, int) override {
        int icon = 28;
        COLORREF colour = kBlue;
        switch (icon_) {
            case MessageIcon::Question: icon = 31; break;
            case MessageIcon::Warning: icon = 29, colour = kAmber; break;
            case MessageIcon::Error: icon = 30, colour = kRed; break;
            default: break;
        }
        const RECT badge{Scale(22), Scale(20), Scale(22) + Scale(36), Scale(20) + Scale(36)};
        SurfaceRoundRect(s, badge, Scale(10), colour, colour, 36, 96);
        const int inset = (Scale(36) - Scale(20)) / 2;
        DrawIcon(s, icon, badge.left + inset, badge.top + inset, Scale(20), colour);
        SurfaceText(s, message_, RECT{textLeft_, Scale(22), width - Scale(22), Scale(22) + textHeight_}, 4,
                    PaletteColor(7), kParagraphFlags);
    }

    void OnCommand(int id, int) override {
        if (id >= 100 && id < 100 + static_cast<int>(buttons_.size())) CloseDialog(id - 100);
    }

    void OnTimer(UINT_PTR) override {
        if (!countdown_ || closed_) return;
        if (countdown_->still && !countdown_->still()) return CloseDialog(kCountdownWithdrawn);
        if (left_ > 0) --left_;
        if (left_ == 0 && countdown_->atZero != kCountdownStays) return CloseDialog(countdown_->atZero);
        message_ = countdown_->text(left_);
        ::InvalidateRect(window_, nullptr, FALSE);
    }

    HWND InitialFocus() override {
        if (handles_.empty()) return nullptr;
        if (focusIndex_ < 0 || focusIndex_ >= static_cast<int>(handles_.size())) return handles_[0];
        return handles_[static_cast<size_t>(focusIndex_)];
    }

    std::wstring message_;
    MessageIcon icon_;
    const std::vector<std::wstring>& buttons_;
    int32_t dangerIndex_, focusIndex_;
    const Countdown* countdown_;
    int32_t left_;  // seconds
    std::vector<HWND> handles_;
    int32_t width_ = 0, height_ = 0, textLeft_ = 0, textHeight_ = 0;
};
}  // namespace

std::wstring MessageDialogText(HWND dialog) {
    const auto* d = dynamic_cast<const MessageDialogImpl*>(DialogOf(dialog));
    return d ? d->Message() : std::wstring();
}

int ShowMessageDialog(HWND owner, const std::wstring& title, const std::wstring& message, MessageIcon icon,
                      const std::vector<std::wstring>& buttons, int dangerIndex, int focusIndex) {
    MessageDialogImpl dialog(message, icon, buttons, dangerIndex, focusIndex);
    return dialog.Show(owner, title);
}

int ShowCountdownDialog(HWND owner, const std::wstring& title, MessageIcon icon,
                        const std::vector<std::wstring>& buttons, int dangerIndex, int focusIndex,
                        const Countdown& countdown) {
    MessageDialogImpl dialog(countdown.text(countdown.seconds), icon, buttons, dangerIndex, focusIndex, &countdown);
    return dialog.Show(owner, title);
}

}  // namespace ui
