#include "bridge/NativeHost.h"

#include <cstdint>
#include <vector>

#include "bridge/HandOver.h"
#include "bridge/HostMessage.h"
#include "store/FileServices.h"
#include "store/Handles.h"

bool ReadExact(HANDLE handle, void* buffer, size_t bytes) {
    char* at = static_cast<char*>(buffer);
    while (bytes > 0) {
        DWORD got = 0;
        const DWORD want = bytes > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes);
        if (!::ReadFile(handle, at, want, &got, nullptr) || got == 0) return false;
        at += got;
        bytes -= got;
    }
    return true;
}

void WriteHostReply(bool ok, const std::string& error) {
    const std::string text = HostReplyText(ok, error);
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    const uint32_t n = static_cast<uint32_t>(text.size());
    const unsigned char length[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                     static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
    DWORD done = 0;
    ::WriteFile(out, length, 4, &done, nullptr);
    ::WriteFile(out, text.data(), n, &done, nullptr);
    ::FlushFileBuffers(out);
}

namespace {
int HostMain() {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (!in || in == INVALID_HANDLE_VALUE) return 1;
    unsigned char length[4];
    if (!ReadExact(in, length, 4)) return 1;
    const uint32_t n = length[0] | (length[1] << 8) | (length[2] << 16) | (static_cast<uint32_t>(length[3]) << 24);
    if (n == 0 || n > kMaxHostMessage) return 1;
    std::vector<char> body(n);
    if (!ReadExact(in, body.data(), n)) return 1;
    const HostMessage message = ReadHostMessage(body.data(), body.size());
    body = {};
    switch (message.kind) {
        case HostMessage::Invalid: WriteHostReply(false, "invalid message"); return 1;
        case HostMessage::Ping: WriteHostReply(true, ""); return 0;
        case HostMessage::Unknown: WriteHostReply(false, "unknown message type"); return 0;
        case HostMessage::Download: break;
    }
    if (message.requests.empty()) {
        WriteHostReply(false, "no links");
        return 0;
    }
    if (!HandOverRequests(message.requests, true)) {
        WriteHostReply(false, "the app did not answer");
        return 0;
    }
    if (!message.anyUsable) {
        WriteHostReply(false, "the PE edition downloads http(s) files only (no streaming video / torrent)");
        return 0;
    }
    WriteHostReply(true, "");
    return 0;
}

bool InstanceExists() {
    KernelHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutex));
    // Access denied means it exists, held by an elevated instance.
    return mutex || ::GetLastError() == ERROR_ACCESS_DENIED;
}

// Starts the GUI without arguments. Browsers run hosts in a job object they
// kill with the host; the GUI must break away from it or die after the
// host answered "ok".
KernelHandle StartGui() {
    const std::wstring exe = GetModulePath();
    std::wstring commandLine = L"\"" + exe + L"\"";  // CreateProcessW may write into it
    for (DWORD flags : {static_cast<DWORD>(CREATE_BREAKAWAY_FROM_JOB), 0ul}) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        if (::CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &si, &pi)) {
            ::CloseHandle(pi.hThread);
            return KernelHandle(pi.hProcess);
        }
        if (::GetLastError() != ERROR_ACCESS_DENIED) break;
    }
    return KernelHandle();
}
}  // namespace

int RunNativeHost() {
    // A message of millions of tiny values may exhaust memory: the host
    // still ends with its code instead of dying without one.
    try {
        return HostMain();
    } catch (...) {
        return 1;
    }
}

bool SendRequestsToWindow(HWND window, const std::wstring& text) {
    // Piece by piece, each answered before the next: the window adds each
    // one as a batch while the next is on its way.
    for (const std::wstring& piece : SplitHandOverText(text)) {
        COPYDATASTRUCT data{};
        data.dwData = kHandOverTag;
        data.cbData = static_cast<DWORD>((piece.size() + 1) * sizeof(wchar_t));
        data.lpData = const_cast<wchar_t*>(piece.c_str());
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10000,
                                   &result) ||
            result == 0)
            return false;
    }
    return true;
}

bool HandOverRequests(const std::vector<DownloadRequest>& requests, bool launch) {
    ::AllowSetForegroundWindow(ASFW_ANY);
    const std::wstring text = BuildHandOverText(requests);
    if (HWND window = ::FindWindowW(kMainWindowClass, nullptr)) return SendRequestsToWindow(window, text);
    KernelHandle process;
    if (!InstanceExists()) {
        if (!launch) return false;
        process = StartGui();
        if (!process) return false;
    }
    // An instance is starting (ours, or one another host or start began):
    // wait for its window. Our process may end as a second instance of a
    // GUI someone else started; then that one's window is awaited.
    const ULONGLONG began = ::GetTickCount64();
    for (;;) {
        if (HWND window = ::FindWindowW(kMainWindowClass, nullptr)) return SendRequestsToWindow(window, text);
        if (::GetTickCount64() - began >= kWindowWaitMs) return false;
        if (process && ::WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) {
            process.reset();
            if (!InstanceExists()) {
                if (HWND window = ::FindWindowW(kMainWindowClass, nullptr)) return SendRequestsToWindow(window, text);
                return false;
            }
        } else if (!process && !InstanceExists()) {
            return false;
        }
        ::Sleep(200);
    }
}
