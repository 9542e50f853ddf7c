#include "engine/StateFile.h"

#include <algorithm>

#include "engine/Checksum.h"
#include "engine/Credentials.h"
#include "engine/FileNames.h"
#include "engine/Segments.h"
#include "engine/StrictNumber.h"
#include "store/FileServices.h"
#include "store/Text.h"

namespace zeb {

std::string buildStateText(const std::wstring& url, int64_t totalSize, std::vector<Segment> segments,
                           const Validator& validator) {
    std::sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) { return a.start < b.start; });
    // Never a password: download folders are shares and sticks.
    std::string text = "ZEBSTATE 1\r\nurl=" + Utf16ToUtf8(linkWithoutUserInfo(url)) + "\r\ntotal=" + std::to_string(totalSize) +
                       "\r\netag=" + Utf16ToUtf8(validator.etag) + "\r\nmodified=" + Utf16ToUtf8(validator.modified) +
                       "\r\n";
    const auto line = [&](int64_t start, int64_t end, int64_t pos) {
        text += "seg=" + std::to_string(start) + "," + std::to_string(end) + "," + std::to_string(pos) + "\r\n";
    };
    for (size_t i = 0; i < segments.size();) {
        const Segment& s = segments[i];
        const bool done = s.pos >= s.end, untouched = s.pos == s.start;
        if (!done && !untouched) {
            line(s.start, s.end, s.pos);
            ++i;
            continue;
        }
        // A run of finished ranges without gaps is one line, and so is a run
        // of untouched ones: a file of hundreds of GiB paused early would
        // otherwise need a line per piece and outgrow what a reader takes.
        int64_t end = s.end;
        size_t j = i + 1;
        const auto alike = [&](const Segment& n) { return done ? n.pos >= n.end : n.pos == n.start && n.pos < n.end; };
        while (j < segments.size() && alike(segments[j]) && segments[j].start == end) end = segments[j++].end;
        line(s.start, end, done ? end : s.start);
        i = j;
    }
    return text;
}

std::optional<std::vector<Segment>> parseStateText(const std::string& text, const std::wstring& url,
                                                   int64_t expectedTotal, Validator* recorded) {
    if (text.compare(0, 8, "ZEBSTATE") != 0) return std::nullopt;
    bool urlMatches = false, totalMatches = false;
    Validator validator;
    std::vector<Segment> segments;
    for (const std::string& raw : SplitAtLf(text)) {
        const std::wstring line = Trim(Utf8ToUtf16(raw));
        if (line.compare(0, 4, L"url=") == 0) {
            urlMatches = sameLinkButUserInfo(line.substr(4), url);
        } else if (line.compare(0, 6, L"total=") == 0) {
            std::optional<int64_t> total = ParseStrictNumber(line.substr(6));
            totalMatches = total && *total == expectedTotal;
        } else if (line.compare(0, 5, L"etag=") == 0) {
            validator.etag = line.substr(5);
        } else if (line.compare(0, 9, L"modified=") == 0) {
            validator.modified = line.substr(9);
        } else if (line.compare(0, 4, L"seg=") == 0) {
            const std::wstring rest = line.substr(4);
            size_t c1 = rest.find(L','), c2 = c1 == std::wstring::npos ? c1 : rest.find(L',', c1 + 1);
            if (c2 == std::wstring::npos) return std::nullopt;
            std::optional<int64_t> a = ParseStrictNumber(rest.substr(0, c1));
            std::optional<int64_t> b = ParseStrictNumber(rest.substr(c1 + 1, c2 - c1 - 1));
            std::optional<int64_t> p = ParseStrictNumber(rest.substr(c2 + 1));
            if (!a || !b || !p) return std::nullopt;
            Segment s;
            s.start = *a;
            s.end = *b;
            s.pos = *p;
            segments.push_back(s);
        }
    }
    if (!urlMatches || !totalMatches || segments.empty()) return std::nullopt;
    std::sort(segments.begin(), segments.end(), [](const Segment& x, const Segment& y) { return x.start < y.start; });
    int64_t expected = 0;
    std::vector<Segment> table;
    for (Segment& s : segments) {
        if (s.start != expected || s.end <= s.start || s.pos < s.start || s.pos > s.end) return std::nullopt;
        s.state = s.pos == s.end ? SegmentState::Done : SegmentState::Idle;
        expected = s.end;
        if (s.pos != s.start || s.end - s.start <= kPieceBytes) {
            table.push_back(s);
            continue;
        }
        // An untouched run goes back to pieces: the workers take them in
        // order, as they would have before the pause.
        for (int64_t at = s.start; at < s.end; at += kPieceBytes) {
            Segment piece = s;
            piece.start = piece.pos = at;
            piece.end = std::min(s.end, at + kPieceBytes);
            table.push_back(piece);
        }
    }
    if (expected != expectedTotal) return std::nullopt;
    if (recorded) *recorded = validator;
    return table;
}

std::optional<std::vector<Segment>> recordedSegments(const std::string& text, const std::wstring& url,
                                                     Validator* recorded) {
    std::optional<int64_t> total;
    for (const std::string& raw : SplitAtLf(text)) {
        const std::wstring line = Trim(Utf8ToUtf16(raw));
        if (line.compare(0, 6, L"total=") == 0) total = ParseStrictNumber(line.substr(6));
    }
    if (!total) return std::nullopt;
    return parseStateText(text, url, *total, recorded);
}

std::string finishedStateText(const std::wstring& url, int64_t total, const Validator& validator,
                              const std::wstring& finalName, const std::wstring& sha256) {
    Segment whole;
    whole.end = whole.pos = total;
    return buildStateText(url, total, {whole}, validator) + "final=" + Utf16ToUtf8(finalName) + "\r\nsha256=" +
           Utf16ToUtf8(sha256) + "\r\n";
}

std::optional<FinishedState> finishedState(const std::string& text, const std::wstring& url) {
    const std::optional<std::vector<Segment>> segments = recordedSegments(text, url);
    if (!segments || !allDone(*segments)) return std::nullopt;
    FinishedState finished;
    finished.total = totalOf(*segments);
    for (const std::string& raw : SplitAtLf(text)) {
        const std::wstring line = Trim(Utf8ToUtf16(raw));
        if (line.compare(0, 6, L"final=") == 0) finished.finalName = line.substr(6);
        else if (line.compare(0, 7, L"sha256=") == 0) finished.sha256 = line.substr(7);
    }
    // Only a plain name in this folder: the state lies on a share anyone may write.
    if (finished.finalName != sanitizeFileName(finished.finalName)) finished.finalName.clear();
    const std::optional<std::wstring> sum = normalChecksum(finished.sha256);
    if (!sum || sum->size() != 64) finished.sha256.clear();
    else finished.sha256 = *sum;
    return finished;
}

}  // namespace zeb
