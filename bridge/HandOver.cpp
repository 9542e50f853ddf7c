#include "bridge/HandOver.h"

#include "bridge/Json.h"

namespace {
std::wstring Field(std::wstring value) {
    for (wchar_t& c : value)
        if (c < 0x20) c = L' ';
    return value;
}
}  // namespace

std::wstring BuildHandOverText(const std::vector<DownloadRequest>& requests) {
    std::wstring text;
    for (const DownloadRequest& r : requests) {
        text += Field(r.url) + L'\t' + Field(r.referrer) + L'\t' + Field(r.fileName) + L'\t' + Field(r.userAgent) +
                L'\t' + Field(r.cookies) + L'\t' + (r.media ? L"1" : L"0") + L'\t' + Field(r.title) + L'\n';
    }
    return text;
}

std::vector<DownloadRequest> ParseHandOverText(const std::wstring& text) {
    std::vector<DownloadRequest> requests;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::vector<std::wstring> fields;
        size_t f = start;
        for (;;) {
            size_t tab = text.find(L'\t', f);
            if (tab == std::wstring::npos || tab >= end) {
                fields.push_back(text.substr(f, end - f));
                break;
            }
            fields.push_back(text.substr(f, tab - f));
            f = tab + 1;
        }
        fields.resize(7);
        start = end + 1;
        if (fields[0].empty()) continue;
        DownloadRequest r;
        r.url = fields[0];
        r.referrer = fields[1];
        r.fileName = fields[2];
        r.userAgent = fields[3];
        r.cookies = fields[4];
        r.media = fields[5] == L"1";
        r.title = fields[6];
        requests.push_back(std::move(r));
    }
    return requests;
}

std::vector<std::wstring> SplitHandOverText(const std::wstring& text, size_t maxUnits) {
    std::vector<std::wstring> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;  // the end of the last whole line that fits
        while (end < text.size()) {
            size_t next = text.find(L'\n', end);
            next = next == std::wstring::npos ? text.size() : next + 1;
            if (next - start > maxUnits && end > start) break;
            end = next;
            if (end - start >= maxUnits) break;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end;
    }
    if (pieces.empty()) pieces.emplace_back();  // an empty hand-over still brings the window forward
    return pieces;
}

std::wstring JoinCookies(const JsonValue& cookies) {
    std::wstring joined;
    for (const JsonValue& element : cookies.elements) {
        const std::wstring name = JsonGetString(element, "name");
        const std::wstring value = JsonGetString(element, "value");
        if (name.empty() || name.find_first_of(L"\t\r\n") != std::wstring::npos ||
            value.find_first_of(L"\t\r\n") != std::wstring::npos)
            continue;
        if (!joined.empty()) joined += L"; ";
        joined += name + L"=" + value;
    }
    return joined;
}
