// Stands in for Windows PE's wpeutil.exe in a test world's system folder:
// appends its arguments as one line to C:\wpeutil.log and ends with the
// number in C:\wpeutil.code (0 when there is none).
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (FILE* log = _wfopen(L"C:\\wpeutil.log", L"a")) {
        for (int i = 1; i < argc; ++i) std::fwprintf(log, L"%ls%ls", i > 1 ? L" " : L"", argv[i]);
        std::fwprintf(log, L"\n");
        std::fclose(log);
    }
    int code = 0;
    if (FILE* f = _wfopen(L"C:\\wpeutil.code", L"r")) {
        if (std::fwscanf(f, L"%d", &code) != 1) code = 0;
        std::fclose(f);
    }
    return code;
}
