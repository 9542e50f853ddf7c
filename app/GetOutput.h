// Where the unattended mode's lines go: standard output when it is
// redirected to a file or a pipe (UTF-8, no BOM), else the console the
// program was started from, where one progress line is rewritten in place.
// The console is attached in both cases so that Ctrl+C and its closing
// reach the program. Main thread only.
#pragma once

#include <windows.h>

#include <string>

#include "store/Handles.h"

class GetOutput {
public:
    GetOutput();
    GetOutput(const GetOutput&) = delete;
    GetOutput& operator=(const GetOutput&) = delete;

    // True when lines go to a console, where progress is shown.
    bool console() const { return static_cast<bool>(console_); }
    // One line; on a console it replaces the progress line.
    void line(const std::wstring& text);
    // The progress line, rewritten in place (console only).
    void progress(const std::wstring& text);

private:
    void write(const std::wstring& text);

    HANDLE redirected_ = nullptr;  // the standard output's handle (not ours to close), or null
    FileHandle console_;           // "CONOUT$" of the attached console, when output goes there
    size_t shown_ = 0;             // length of the progress line on the console; 0: none
};
