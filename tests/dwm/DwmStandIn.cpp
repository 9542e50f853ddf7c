// A stand-in dwmapi.dll for the title-bar tests: Wine's own accepts every
// attribute and does nothing visible. This one appends "<window class>
// <attribute> <value>" to the file named by TW_DWM_LOG and, when
// TW_DWM_FAIL20 is set, refuses attribute 20 as older Windows 10 builds do.
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) HRESULT WINAPI DwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID data,
                                                                      DWORD size) {
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"TW_DWM_LOG", path, MAX_PATH)) {
        wchar_t cls[64] = L"?";
        GetClassNameW(window, cls, 64);
        const int value = size == sizeof(BOOL) && data ? *static_cast<const BOOL*>(data) : -1;
        if (FILE* f = _wfopen(path, L"a")) {
            fwprintf(f, L"%ls %lu %d\n", cls, attribute, value);
            fclose(f);
        }
    }
    wchar_t fail[4] = {};
    if (attribute == 20 && GetEnvironmentVariableW(L"TW_DWM_FAIL20", fail, 4)) return E_INVALIDARG;
    return S_OK;
}
