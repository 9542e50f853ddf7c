// The system libraries a screen reader's questions and announcements need,
// loaded from the system folder when first asked for: ole32 (COM on the UI
// thread), oleacc (answering WM_GETOBJECT), oleaut32 (the texts handed out)
// and uiautomationcore (announcements). Until then a window costs none of
// them, not even ole32's start. A system without one (a bare
// Windows PE) answers as a window without them. UI thread only.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <string>

#include "store/Handles.h"

// IAccessible's own GUID: the one mingw's oleacc import library gives links
// to a thunk, not to the GUID, in a static build.
constexpr IID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

struct IRawElementProviderSimple;

// One reference to a COM object, released once.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* p) : p_(p) {}  // takes over a reference
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }

private:
    T* p_ = nullptr;
};

class AccessModules {
public:
    AccessModules() = default;
    AccessModules(const AccessModules&) = delete;
    AccessModules& operator=(const AccessModules&) = delete;
    ~AccessModules();

    // COM and oleacc, loaded at the first call; false on a system without them.
    bool Ready();
    // Whether a client asked anything yet (only then are they loaded).
    bool Asked() const { return tried_; }
    // WM_GETOBJECT's answer for `object` (0 when the system cannot give one).
    LRESULT Answer(WPARAM wParam, IAccessible* object);
    // The window's standard object (its frame: the list's parent), or null.
    IDispatch* StandardObject(HWND window, LONG id);
    // Cuts an object off from clients in other processes.
    void Disconnect(IUnknown* object);
    // A text for a screen reader, or null when oleaut32 is missing.
    BSTR Text(const std::wstring& text);
    // UI Automation's notification on the window's own element; false where
    // the system has none (then the caller raises an MSAA event).
    bool Notify(HWND window, int kind, bool important, const std::wstring& text, const wchar_t* activity);

private:
    bool tried_ = false, ready_ = false, comStarted_ = false, uiaTried_ = false;
    ModuleHandle ole_, oleacc_, oleaut_, uia_;
    HRESULT(WINAPI* coInitializeEx_)(LPVOID, DWORD) = nullptr;
    void(WINAPI* coUninitialize_)() = nullptr;
    HRESULT(WINAPI* coDisconnectObject_)(LPUNKNOWN, DWORD) = nullptr;
    LRESULT(WINAPI* lresultFromObject_)(REFIID, WPARAM, LPUNKNOWN) = nullptr;
    HRESULT(WINAPI* objectFromWindow_)(HWND, DWORD, REFIID, void**) = nullptr;
    BSTR(WINAPI* sysAllocString_)(const OLECHAR*) = nullptr;
    void(WINAPI* sysFreeString_)(BSTR) = nullptr;
    HRESULT(WINAPI* hostProvider_)(HWND, IRawElementProviderSimple**) = nullptr;
    HRESULT(WINAPI* raiseNotification_)(IRawElementProviderSimple*, int, int, BSTR, BSTR) = nullptr;
};
