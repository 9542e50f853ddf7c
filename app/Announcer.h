// Says the status line's messages to a screen reader, as AccessRules
// decides: through UI Automation's notification where the system has it,
// else as an MSAA alert of the main window whose name is the message (the
// main window answers WM_GETOBJECT for it). UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "app/AccessRules.h"
#include "app/ListAccessible.h"

// The alert's object id in the main window's WM_GETOBJECT (ids of the
// program's own objects are positive).
constexpr LONG kAnnouncementObjectId = 1;

class Announcer : public AccessibleSource {
public:
    explicit Announcer(AccessModules& modules) : modules_(modules) {}
    void Announce(HWND main, StatusKind kind, const std::wstring& text);
    LRESULT Answer(WPARAM wParam) { return host_.Answer(modules_, *this, wParam); }
    void Disconnect() { host_.Disconnect(); }

    HWND AccessibleWindow() const override { return main_; }
    LONG AccessibleRole() const override;
    std::wstring AccessibleName() const override { return last_.text; }

private:
    AccessModules& modules_;
    AccessibleHost host_;
    LastAnnouncement last_;
    HWND main_ = nullptr;
};
