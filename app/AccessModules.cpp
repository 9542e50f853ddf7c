#include "app/AccessModules.h"

#include <uiautomationcore.h>

namespace {
HMODULE LoadSystemLibrary(const wchar_t* name) {
    return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

template <typename F>
void Entry(F& f, const ModuleHandle& module, const char* name) {
    f = module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name))) : nullptr;
}
}  // namespace

AccessModules::~AccessModules() {
    if (comStarted_) coUninitialize_();
}

bool AccessModules::Ready() {
    if (tried_) return ready_;
    tried_ = true;
    // The window's thread is a single-threaded apartment, so a client's
    // calls arrive as messages the loop dispatches, never on another thread.
    // A thread some code put in the multi-threaded one would take them on
    // COM's threads, beside the UI's: then nothing is answered.
    ole_.reset(LoadSystemLibrary(L"ole32.dll"));
    Entry(coInitializeEx_, ole_, "CoInitializeEx");
    Entry(coUninitialize_, ole_, "CoUninitialize");
    Entry(coDisconnectObject_, ole_, "CoDisconnectObject");
    comStarted_ = coInitializeEx_ && coUninitialize_ && coDisconnectObject_ &&
                  SUCCEEDED(coInitializeEx_(nullptr, COINIT_APARTMENTTHREADED));
    oleacc_.reset(LoadSystemLibrary(L"oleacc.dll"));
    oleaut_.reset(LoadSystemLibrary(L"oleaut32.dll"));
    Entry(lresultFromObject_, oleacc_, "LresultFromObject");
    Entry(objectFromWindow_, oleacc_, "AccessibleObjectFromWindow");
    Entry(sysAllocString_, oleaut_, "SysAllocString");
    Entry(sysFreeString_, oleaut_, "SysFreeString");
    ready_ = lresultFromObject_ && sysAllocString_ && sysFreeString_ && comStarted_;
    return ready_;
}

LRESULT AccessModules::Answer(WPARAM wParam, IAccessible* object) {
    if (!Ready() || !object) return 0;
    const LRESULT result = lresultFromObject_(kIidAccessible, wParam, object);
    return result < 0 ? 0 : result;  // a failure's HRESULT is no answer
}

IDispatch* AccessModules::StandardObject(HWND window, LONG id) {
    void* object = nullptr;
    if (!Ready() || !objectFromWindow_ || FAILED(objectFromWindow_(window, static_cast<DWORD>(id), IID_IDispatch, &object)))
        return nullptr;
    return static_cast<IDispatch*>(object);
}

void AccessModules::Disconnect(IUnknown* object) {
    if (ready_) coDisconnectObject_(object, 0);
}

BSTR AccessModules::Text(const std::wstring& text) { return Ready() ? sysAllocString_(text.c_str()) : nullptr; }

bool AccessModules::Notify(HWND window, int kind, bool important, const std::wstring& text, const wchar_t* activity) {
    if (!Ready()) return false;
    if (!uiaTried_) {
        uiaTried_ = true;
        uia_.reset(LoadSystemLibrary(L"uiautomationcore.dll"));
        Entry(hostProvider_, uia_, "UiaHostProviderFromHwnd");
        Entry(raiseNotification_, uia_, "UiaRaiseNotificationEvent");  // Windows 10 1709 and later
    }
    if (!hostProvider_ || !raiseNotification_) return false;
    IRawElementProviderSimple* element = nullptr;
    if (FAILED(hostProvider_(window, &element)) || !element) return false;
    // NotificationProcessing: 0 important, all said; 3 the most recent replaces ones not yet said.
    BSTR said = sysAllocString_(text.c_str()), id = sysAllocString_(activity);
    const HRESULT raised = raiseNotification_(element, kind, important ? 0 : 3, said, id);
    sysFreeString_(said);
    sysFreeString_(id);
    element->Release();
    return SUCCEEDED(raised);
}
