// A small strict XML reader of our own, enough for Metalink files: UTF-8
// bytes in, a tree of elements out, or the first fault and its line. No DTD
// is read at all and no entity beyond the five predefined ones and
// character references is known, so a document can neither grow itself
// (nested entities) nor reach for another file (external entities).
// Elements and attributes are known by their local names; an element's
// namespace is the URI its prefix, or the default, is bound to.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace zeb {

enum class XmlFault {
    None,
    TooLarge,   // more bytes than the caller allows
    NotUtf8,    // a byte sequence that is not UTF-8
    Doctype,    // a document type declaration, refused with its DTD unread
    Entity,     // an entity reference other than the predefined five or a valid character
    Malformed,  // not well-formed: truncated, mismatched tags, stray text, an unbound prefix...
    TooDeep,    // elements nested deeper than the caller allows
};

struct XmlElement {
    std::wstring ns;    // namespace URI; empty for none
    std::wstring name;  // local name
    std::vector<std::pair<std::wstring, std::wstring>> attributes;  // local name, value; no xmlns ones
    std::wstring text;  // the element's own text and CDATA, children's left out
    std::vector<XmlElement> children;

    // The value of the first attribute of this local name, or nullptr.
    const std::wstring* attribute(const std::wstring& local) const;
};

struct XmlDocument {
    XmlElement root;
    XmlFault fault = XmlFault::None;
    int line = 0;  // 1-based line of the fault; 0 without one
};

// The document in `bytes` (a UTF-8 byte order mark is skipped). The root is
// left empty when there is a fault.
XmlDocument parseXml(const std::string& bytes, size_t maxBytes, int maxDepth);

}  // namespace zeb
