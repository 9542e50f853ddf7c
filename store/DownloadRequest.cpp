#include "store/DownloadRequest.h"

#include "engine/Url.h"

bool IsAcceptableLink(const std::wstring& text) {
    if (text.size() < 10 || text.size() > 8000) return false;
    if (text.find_first_of(L" \t\r\n\"<>") != std::wstring::npos) return false;
    zeb::UrlParts parts;
    return zeb::crackUrl(text, parts);
}
