// The object a screen reader asks about a custom-drawn window (MSAA's
// IAccessible): the window itself and one simple child per row, addressed
// by child id row + 1. No object exists per row, so a list of 100,000 rows
// costs nothing until a row is asked about, and then only that row's texts.
// The list view answers for its rows; the main window, with no rows, for
// the alert that carries its announcements. UI thread only (the thread is
// a single-threaded apartment: a client's calls arrive as messages).
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>

#include "app/AccessModules.h"

// What the object reads: the window's answers, row by row. Rows are 0-based.
class AccessibleSource {
public:
    virtual ~AccessibleSource() = default;
    virtual HWND AccessibleWindow() const = 0;
    virtual LONG AccessibleRole() const = 0;  // ROLE_SYSTEM_*
    virtual std::wstring AccessibleName() const = 0;
    virtual int RowCount() const { return 0; }
    virtual std::wstring RowName(int) const { return {}; }
    virtual std::wstring RowValue(int) const { return {}; }
    virtual int SelectedRow() const { return -1; }
    // The row's rectangle in client pixels; false when it is scrolled out of sight.
    virtual bool RowPlace(int, RECT&) const { return false; }
    virtual int RowAt(POINT) const { return -1; }  // client pixels; -1: none
    virtual void SelectRow(int) {}
    virtual std::wstring RowActionName() const { return {}; }
    virtual void DoRowAction(int) {}
};

// Owns the window's object: made at the first WM_GETOBJECT, cut off from
// the window when the window goes (a client may hold it longer; it then
// answers that it is gone).
class AccessibleHost {
public:
    AccessibleHost() = default;
    AccessibleHost(const AccessibleHost&) = delete;
    AccessibleHost& operator=(const AccessibleHost&) = delete;
    ~AccessibleHost() { Disconnect(); }
    // The answer to WM_GETOBJECT for the window's object.
    LRESULT Answer(AccessModules& modules, AccessibleSource& source, WPARAM wParam);
    void Disconnect();

private:
    class Object;
    Object* object_ = nullptr;  // one reference held
    AccessModules* modules_ = nullptr;  // that made it
};

// The event for a window's row (row -1: the window's object itself).
void RaiseRowEvent(DWORD event, HWND window, LONG objectId, int row);
