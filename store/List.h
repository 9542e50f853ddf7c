// The download list and its queue (built in the list step); for now the
// one admission test every link passes.
#pragma once

#include <string>

// 10 to 8000 UTF-16 units, no space, tab, CR, LF, double quote, "<" or ">",
// and an http or https URL with a host.
bool IsAcceptableLink(const std::wstring& text);
