// Shutting the machine down or restarting it. Windows PE has no working
// shutdown call of its own: only its wpeutil tool, run from the system
// folder. A desktop asks Windows, with the shutdown privilege enabled in
// this process's token.
#pragma once

#include <windows.h>

#include <string>

#include "store/Handles.h"

// The wpeutil program and its command line.
struct PowerCommand {
    std::wstring program;
    std::wstring commandLine;
};
PowerCommand WpeutilCommand(const std::wstring& systemFolder, bool restart);

// Starts the shutdown or restart. Inside Windows PE `tool` receives the
// wpeutil process, whose exit code tells the outcome; on a desktop Windows
// has taken the request when this returns true. False with the system's
// reason in `error` when it could not be started.
bool StartPowerAction(bool restart, KernelHandle& tool, std::wstring& error);

// Tests on a desktop: stands in for ExitWindowsEx, so that a test machine
// stays up. Null puts the real call back.
using ExitWindowsCall = BOOL(WINAPI*)(UINT flags, DWORD reason);
void SetExitWindowsForTests(ExitWindowsCall call);
