#include "app/ManyLinks.h"

#include <algorithm>
#include <cwctype>
#include <unordered_set>

#include "engine/Credentials.h"
#include "engine/FileNames.h"
#include "store/Lang.h"
#include "ui/Dialog.h"
#include "ui/MessageDialog.h"

namespace {
constexpr size_t kNamesShown = 5;
constexpr size_t kNameUnits = 70;  // a longer name or link is cut in the middle
constexpr size_t kLongestWord = 16384;

// A non-breaking or other typographic space separates like a space.
bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f' || c == L'\v' || c == 0xA0 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 ||
           c == 0xFEFF;
}
// Never part of a link (the link test refuses them): what wraps one in mail and markup.
bool EndsLink(wchar_t c) { return IsSpace(c) || c == L'"' || c == L'<' || c == L'>'; }

// Opening and closing partners: the three brackets first, then typographic quotes.
constexpr wchar_t kOpeners[] = L"([{\u201C\u2018\u00AB";
constexpr wchar_t kClosers[] = L")]}\u201D\u2019\u00BB";
constexpr int kBrackets = 3;

// Where `c` stands in `set`, or -1.
int IndexIn(const wchar_t* set, wchar_t c) {
    for (int k = 0; set[k]; ++k)
        if (set[k] == c) return k;
    return -1;
}

bool StartsLinkAt(const std::wstring& text, size_t i) {
    const auto is = [&](const wchar_t* prefix) {
        for (size_t k = 0; prefix[k]; ++k)
            if (i + k >= text.size() || std::towlower(text[i + k]) != prefix[k]) return false;
        return true;
    };
    return is(L"http://") || is(L"https://");
}

// The end of the link that starts at `from`: a space, a character no link
// holds, a closing bracket whose opening partner is not inside the link
// (a sentence's or markup's own), or a comma right before another link.
size_t LinkEnd(const std::wstring& text, size_t from) {
    int depth[kBrackets] = {};
    size_t i = from;
    for (; i < text.size() && !EndsLink(text[i]); ++i) {
        const wchar_t c = text[i];
        if (c == L',' && StartsLinkAt(text, i + 1)) break;
        if (const int k = IndexIn(kOpeners, c); k >= 0 && k < kBrackets) ++depth[k];
        if (const int k = IndexIn(kClosers, c); k >= 0 && k < kBrackets && depth[k]-- == 0) break;
    }
    return i;
}

// A sentence's punctuation after a link, and quotes that close nothing
// opened inside it, are not part of it.
void DropTrailingPunctuation(std::wstring& link) {
    while (!link.empty()) {
        const wchar_t c = link.back();
        const auto count = [&](wchar_t x) { return std::count(link.begin(), link.end(), x); };
        bool drop = IndexIn(L".,;:!?", c) >= 0 || ((c == L'\'' || c == L'`') && count(c) % 2 == 1);
        if (const int k = IndexIn(kClosers, c); k >= 0) drop = count(c) > count(kOpeners[k]);
        if (!drop) return;
        link.pop_back();
    }
}

std::wstring Shortened(const std::wstring& text) {
    if (text.size() <= kNameUnits) return text;
    const size_t half = (kNameUnits - 1) / 2;
    return text.substr(0, half) + L"\u2026" + text.substr(text.size() - half);
}
}  // namespace

std::vector<std::wstring> LinksInText(const std::wstring& text) {
    std::vector<std::wstring> links;
    std::unordered_set<std::wstring> seen;
    for (size_t i = 0; i < text.size();) {
        if (!StartsLinkAt(text, i)) {
            ++i;
            continue;
        }
        const size_t end = LinkEnd(text, i);
        // A link has at most 8000 units: a far longer word is none, and is
        // not worth the trailing punctuation's counting.
        if (end - i <= kLongestWord) {
            std::wstring link = text.substr(i, end - i);
            DropTrailingPunctuation(link);
            if (IsAcceptableLink(link) && seen.insert(link).second) links.push_back(std::move(link));
        }
        i = end;
    }
    return links;
}

std::wstring ManyLinksQuestion(const std::vector<std::wstring>& links) {
    std::wstring text = Tr(L"Thêm ", L"Add ") + std::to_wstring(links.size()) + Tr(L" liên kết?", L" links?") + L"\n";
    for (size_t i = 0; i < links.size() && i < kNamesShown; ++i) {
        const std::wstring name = zeb::fileNameFromUrl(links[i]);
        text += L"\n" + Shortened(name.empty() ? zeb::maskPassword(links[i]) : name);
    }
    if (links.size() > kNamesShown)
        text += L"\n" + std::wstring(Tr(L"…và ", L"…and ")) + std::to_wstring(links.size() - kNamesShown) +
                Tr(L" liên kết khác", L" more");
    return text;
}

std::wstring ManyLinksAddedText(size_t added, size_t skipped) {
    return Tr(L"Đã thêm ", L"Added ") + std::to_wstring(added) + Tr(L" liên kết, bỏ qua ", L" link(s), skipped ") +
           std::to_wstring(skipped) + L".";
}

LinksAnswer OfferManyLinks(HWND owner, DownloadList& list, ListWindow& window, const std::vector<std::wstring>& links,
                           const std::wstring& folder) {
    if (links.size() < 2) return LinksAnswer::NotMany;
    const int answer = ui::ShowMessageDialog(owner, L"Tidewell PE", ManyLinksQuestion(links), ui::MessageIcon::Question,
                                             {Tr(L"Thêm tất cả", L"Add all"), ui::CancelText()}, -1, 0);
    if (answer != 0) return LinksAnswer::Declined;
    std::vector<DownloadRequest> requests(links.size());
    for (size_t i = 0; i < links.size(); ++i) requests[i].url = links[i];
    const DownloadList::AddCounts counts = list.AddRequests(requests, &folder);
    std::wstring status = ManyLinksAddedText(counts.added, links.size() - counts.added - counts.continued);
    if (counts.full > 0) status += L" " + ListFullText();
    window.SetStatus(status);
    return LinksAnswer::Added;
}
