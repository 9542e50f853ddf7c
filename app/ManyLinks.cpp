#include "app/ManyLinks.h"

#include <unordered_set>

#include "engine/Credentials.h"
#include "engine/FileNames.h"
#include "store/Lang.h"
#include "ui/Dialog.h"
#include "ui/MessageDialog.h"

namespace {
constexpr size_t kNamesShown = 5;
constexpr size_t kNameUnits = 70;  // a longer name or link is cut in the middle

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f' || c == L'\v'; }
bool IsWrapper(wchar_t c) { return c == L'"' || c == L'\'' || c == L'<' || c == L'>'; }

std::wstring Shortened(const std::wstring& text) {
    if (text.size() <= kNameUnits) return text;
    const size_t half = (kNameUnits - 1) / 2;
    return text.substr(0, half) + L"\u2026" + text.substr(text.size() - half);
}
}  // namespace

std::vector<std::wstring> LinksInText(const std::wstring& text) {
    std::vector<std::wstring> links;
    std::unordered_set<std::wstring> seen;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        size_t end = i;
        while (end < text.size() && !IsSpace(text[end])) ++end;
        size_t a = i, b = end;
        while (a < b && IsWrapper(text[a])) ++a;
        while (b > a && IsWrapper(text[b - 1])) --b;
        std::wstring word = text.substr(a, b - a);
        if (IsAcceptableLink(word) && seen.insert(word).second) links.push_back(std::move(word));
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
    std::wstring status = ManyLinksAddedText(counts.added, links.size() - counts.added);
    if (counts.full > 0) status += L" " + ListFullText();
    window.SetStatus(status);
    return LinksAnswer::Added;
}
