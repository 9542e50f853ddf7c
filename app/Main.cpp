// Entry point of the GUI executable. Start-up grows here in later steps; for
// now the program only keeps Windows from showing critical-error dialogs
// (a drive without media must fail quietly, not ask the user) and exits.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return 0;
}
