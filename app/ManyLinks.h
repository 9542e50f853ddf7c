// Several links at once: a copied or pasted text is read whole, and when it
// holds more than one link the user is asked once whether to add them all,
// through the same batch path as a hand-over. UI thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "store/List.h"

// The most of a clipboard text read for links (about 60,000 links).
constexpr size_t kLinkTextUnits = 4u << 20;

// Every http or https link of `text` that passes the link test, in order,
// each once, also inside a sentence or markup: a link ends at a space (a
// non-breaking one too), a quote or angle bracket, a closing bracket it did
// not open, or a comma before another link; a sentence's punctuation and
// quotes that close nothing after it are not part of it.
std::vector<std::wstring> LinksInText(const std::wstring& text);

// "Add <n> links?" with the first five file names (else links) and how
// many more there are.
std::wstring ManyLinksQuestion(const std::vector<std::wstring>& links);
// What the status line says after Add all.
std::wstring ManyLinksAddedText(size_t added, size_t skipped);

enum class LinksAnswer { NotMany, Added, Declined };

// Fewer than two links: NotMany, nothing asked. Otherwise the question over
// `owner`; Add all adds them to `folder` in one batch and says in `window`'s
// status line how many were added and skipped.
LinksAnswer OfferManyLinks(HWND owner, DownloadList& list, ListWindow& window, const std::vector<std::wstring>& links,
                           const std::wstring& folder);
