#include "app/GetOutput.h"

#include <algorithm>

#include "store/FileServices.h"

GetOutput::GetOutput() {
    // Read before attaching: attaching may hand the console's handles out
    // as the standard ones.
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const DWORD type = out && out != INVALID_HANDLE_VALUE ? ::GetFileType(out) : FILE_TYPE_UNKNOWN;
    const bool attached = ::AttachConsole(ATTACH_PARENT_PROCESS) != FALSE;
    DWORD mode = 0;
    // A character device that is no console is "> nul" (or a serial line).
    const bool toConsole = type == FILE_TYPE_UNKNOWN || (type == FILE_TYPE_CHAR && ::GetConsoleMode(out, &mode));
    if (toConsole && attached)
        console_.reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    // Whatever else was given (Wine started from a terminal gives one that
    // is no console of ours) takes the lines as a file does.
    if (!console_ && type != FILE_TYPE_UNKNOWN) redirected_ = out;
}

void GetOutput::write(const std::wstring& text) {
    if (console_) {
        DWORD written = 0;
        ::WriteConsoleW(console_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else if (redirected_) {
        const std::string bytes = Utf16ToUtf8(text);
        DWORD written = 0;
        ::WriteFile(redirected_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

void GetOutput::line(const std::wstring& text) {
    std::wstring out = text;
    if (console_ && shown_ > 0) {
        out = L"\r" + text + std::wstring(shown_ > text.size() ? shown_ - text.size() : 0, L' ');
        shown_ = 0;
    }
    write(out + L"\r\n");
}

void GetOutput::progress(const std::wstring& text) {
    if (!console_) return;
    // A line as wide as the console would wrap, and "\r" would then
    // return to the wrapped part only.
    CONSOLE_SCREEN_BUFFER_INFO info;
    size_t width = 80;
    if (::GetConsoleScreenBufferInfo(console_.get(), &info) && info.dwSize.X > 1)
        width = static_cast<size_t>(info.dwSize.X);
    std::wstring shown = text.substr(0, width - 1);
    const size_t length = shown.size();
    if (shown_ > length) shown.append(shown_ - length, L' ');
    write(L"\r" + shown);
    shown_ = length;
}
