// The engine's whole vocabulary of error sentences, each built in the
// language of the moment it is called; a built text keeps its language.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Types.h"

namespace zeb {

struct MetalinkResult;

// How a reader who trusts a server with a failed certificate skips the
// check, in the language of the moment: by default the window's Settings
// option. A mode that reads no such setting gives its own sentence, before
// any job starts (the texts are built on the jobs' threads).
using AdviceText = std::wstring (*)();
void setCertificateAdvice(AdviceText advice);
std::wstring certificateAdviceText();

std::wstring networkErrorText(uint32_t code);
std::wstring httpStatusText(uint32_t status);
// The kinds of the same: a failed secure connection or any other network
// failure; a refusal (4xx) or any other status the download cannot use.
ErrorKind networkErrorKind(uint32_t code);
ErrorKind httpStatusKind(uint32_t status);
// The system's own message (in the system's language), or "Win32 error N".
std::wstring systemErrorText(uint32_t code);

// The engine's size text for messages: MB below 1 GiB, GB from there on.
std::wstring sizeText(int64_t bytes);

std::wstring invalidLinkText();
std::wstring downloadIncompleteText();
std::wstring threadStartFailedText();
std::wstring outOfMemoryText();
std::wstring rangesStoppedText();
std::wstring wrongRangeText();
std::wstring closedEarlyText();
// Mirrors: a link that names a Metalink file; a source dropped for this
// file (its host and why); the reasons a mirror alone is dropped for.
std::wstring metalinkLinkText();
std::wstring sourceDroppedText(const std::wstring& host, const std::wstring& reason);
std::wstring pieceMismatchText();
std::wstring otherSizeText();
std::wstring stalledText();
std::wstring wholeFileMismatchText();
std::wstring diskFullDetail();
std::wstring diskWriteFailedText(const std::wstring& detail);
std::wstring folderCreateFailedText(const std::wstring& folder, const std::wstring& systemText);
std::wstring fileCreateFailedText(const std::wstring& path, const std::wstring& systemText);
std::wstring notEnoughSpaceText(const std::wstring& folder, int64_t needed, int64_t free);
std::wstring reserveFailedText(int64_t size, const std::wstring& systemText);
std::wstring renameFailedText(const std::wstring& systemText);
std::wstring folderTooLongText();
std::wstring changedOnServerText();
// The lab cache: where a file's bytes came from, and what is said once of
// a cache that cannot take files (the download goes on without it).
std::wstring fromLabCacheText();
std::wstring labCacheReadOnlyText();
std::wstring labCacheFullText();
std::wstring labCacheUnreachableText();
std::wstring keepsChangingText();
std::wstring newLinkDifferentFileText();
std::wstring tooManyNamesText();
// Both digests as lower-case hex.
std::wstring checksumMismatchText(const std::wstring& expected, const std::wstring& computed);
std::wstring checksumReadFailedText(const std::wstring& systemText);
std::wstring fileDeleteFailedText(const std::wstring& path, const std::wstring& systemText);
std::wstring stateDeleteFailedText(const std::wstring& systemText);
// A state file there that cannot be read whole (too large, locked, a read
// error): the job fails and its partial file stays for a later start.
std::wstring stateReadFailedText(const std::wstring& path);
// Why a Metalink file was refused, naming the file or the line at fault;
// empty for a result without a fault.
std::wstring metalinkErrorText(const MetalinkResult& result);

}  // namespace zeb
