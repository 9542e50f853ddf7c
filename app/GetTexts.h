// What the unattended mode says: the exit codes, each file's last line in
// fixed English words for scripts, and the other lines and the help in the
// language of the run. Plain functions of their arguments and the flag.
#pragma once

#include <cstdint>
#include <string>

#include "app/GetOptions.h"
#include "engine/Types.h"

// The exit codes: all done, usage, network, secure connection, refused by
// the server, failed server, checksum mismatch, disk, stopped.
constexpr int kGetDone = 0, kGetUsage = 1, kGetNetwork = 2, kGetSecure = 3, kGetRefused = 4, kGetServerFailed = 5,
              kGetChecksum = 6, kGetDisk = 7, kGetStopped = 8;

int ExitCodeOf(ErrorKind kind);

// "OK <size> sha256=<hex> <name>"
std::wstring OkLine(int64_t size, const std::wstring& sha256, const std::wstring& name);
// "FAILED <code> <name>: <text>"
std::wstring FailedLine(int code, const std::wstring& name, const std::wstring& text);
// Percent (when the size is known), speed, time left and name.
std::wstring ProgressLine(const DownloadInfo& info);

// The link is shown with its password masked.
std::wstring StartText(const std::wstring& link, const std::wstring& folder);
std::wstring AlreadyThereText(const std::wstring& name);
std::wstring MismatchAgainText();
// A --checksums list that cannot be used (`line` 0: not read at all).
std::wstring SumsUnusableText(const std::wstring& source, int line);
// The --sums file could not be written.
std::wstring SumsNotWrittenText(const std::wstring& path);
std::wstring StoppedText();
// How a certificate failure is skipped here: "add --insecure to the command".
std::wstring InsecureAdviceText();
// `input`: the link list's path, named when the fault is in it.
std::wstring ProblemText(const GetProblem& problem, const std::wstring& input);
std::wstring HelpText();
