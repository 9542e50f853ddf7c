#include "ui/SpokenNames.h"

namespace ui {
namespace {
HINSTANCE Instance() { return reinterpret_cast<HINSTANCE>(::GetModuleHandleW(nullptr)); }

HWND Child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style) {
    return ::CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent, nullptr, Instance(),
                             nullptr);
}

void SetIfChanged(HWND window, std::wstring& held, const std::wstring& text) {
    if (held == text) return;
    held = text;
    ::SetWindowTextW(window, text.c_str());
}
}  // namespace

HWND CreateNameLabel(HWND parent, const std::wstring& name) { return Child(parent, L"STATIC", name, WS_DISABLED | SS_LEFT); }

void SetBoxName(HWND box, const std::wstring& name) {
    HWND label = box ? ::GetWindow(box, GW_HWNDPREV) : nullptr;
    wchar_t cls[16] = {};
    if (label && ::GetClassNameW(label, cls, 16) && _wcsicmp(cls, L"Static") == 0) ::SetWindowTextW(label, name.c_str());
}

void SpokenFigures::Show(HWND parent, const std::vector<Figure>& figures) {
    for (size_t i = 0; i < figures.size(); ++i) {
        if (i == pairs_.size()) {
            Pair p;
            p.name = figures[i].name;
            p.value = figures[i].value;
            p.label = Child(parent, L"STATIC", p.name, WS_DISABLED | SS_LEFT | (i == 0 ? WS_GROUP : 0));
            p.box = Child(parent, L"EDIT", p.value, ES_READONLY | ES_AUTOHSCROLL);
            pairs_.push_back(std::move(p));
            continue;
        }
        Pair& p = pairs_[i];
        SetIfChanged(p.label, p.name, figures[i].name);
        SetIfChanged(p.box, p.value, figures[i].value);
        if (!p.shown) {
            ::ShowWindow(p.label, SW_SHOWNA);
            ::ShowWindow(p.box, SW_SHOWNA);
            p.shown = true;
        }
    }
    for (size_t i = figures.size(); i < pairs_.size(); ++i) {
        if (!pairs_[i].shown) continue;
        ::ShowWindow(pairs_[i].label, SW_HIDE);
        ::ShowWindow(pairs_[i].box, SW_HIDE);
        pairs_[i].shown = false;
    }
}

}  // namespace ui
