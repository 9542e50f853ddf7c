#include "engine/Xml.h"

#include <cstdint>
#include <string_view>

namespace zeb {
namespace {

constexpr std::wstring_view kXmlNamespace = L"http://www.w3.org/XML/1998/namespace";

// Thrown inside the reader only, caught by parseXml: the first fault ends
// the reading and nothing read before it is kept.
struct Fault {
    XmlFault kind;
    int line;
};

bool IsXmlChar(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// Letters, "_", ":" and everything outside ASCII may start a name; digits,
// "-" and "." may follow. Looser than XML's own table outside ASCII, which
// changes nothing a Metalink file is read for.
bool IsNameStart(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || c == L':' || c >= 0x80;
}
bool IsNameChar(wchar_t c) { return IsNameStart(c) || (c >= L'0' && c <= L'9') || c == L'-' || c == L'.'; }

void AppendCodePoint(std::wstring& out, uint32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<wchar_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    }
}

int LineOfByte(const std::string& bytes, size_t at) {
    int line = 1;
    for (size_t i = 0; i < at && i < bytes.size(); ++i) line += bytes[i] == '\n';
    return line;
}

// Strict UTF-8 to UTF-16: no overlong forms, no surrogates, nothing past
// U+10FFFF, no cut sequence. Characters XML does not allow (most control
// characters) are malformed. CR LF and a lone CR become LF, as XML reads them.
std::wstring Decode(const std::string& bytes, size_t from) {
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    std::wstring out;
    out.reserve(bytes.size() - from);
    size_t i = from;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        // The length a lead byte announces; C0, C1 and F5 on never lead.
        const size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4                   ? 4
                                                                        : 0;
        if (n == 0) throw Fault{XmlFault::NotUtf8, LineOfByte(bytes, i)};
        uint32_t c = n == 1 ? lead : lead & (0x7F >> n);
        if (i + n > bytes.size()) throw Fault{XmlFault::NotUtf8, LineOfByte(bytes, i)};
        for (size_t k = 1; k < n; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) throw Fault{XmlFault::NotUtf8, LineOfByte(bytes, i)};
            c = (c << 6) | (next & 0x3F);
        }
        if (c < kLeast[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            throw Fault{XmlFault::NotUtf8, LineOfByte(bytes, i)};
        if (!IsXmlChar(c)) throw Fault{XmlFault::Malformed, LineOfByte(bytes, i)};
        i += n;
        if (c == L'\r') {
            c = L'\n';
            if (i < bytes.size() && bytes[i] == '\n') ++i;
        }
        AppendCodePoint(out, c);
    }
    return out;
}

// Reads one decoded document. Recursion follows the nesting of elements,
// bounded by the depth cap.
class Parser {
public:
    Parser(const std::wstring& text, int maxDepth) : text_(text), maxDepth_(maxDepth) {}

    XmlElement document() {
        // The XML declaration may only open the document.
        if (at(L"<?xml") && text_.size() > 5 && IsSpace(text_[5])) skipPast(L"?>");
        misc();
        if (!at(L"<")) fail(XmlFault::Malformed);
        XmlElement root = element(1);
        misc();
        if (pos_ != text_.size()) fail(XmlFault::Malformed);
        return root;
    }

private:
    [[noreturn]] void fail(XmlFault kind) const {
        int line = 1;
        for (size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == L'\n';
        throw Fault{kind, line};
    }
    bool at(std::wstring_view s) const { return text_.compare(pos_, s.size(), s) == 0; }
    void expect(std::wstring_view s) {
        if (!at(s)) fail(XmlFault::Malformed);
        pos_ += s.size();
    }
    bool skipSpace() {
        const size_t start = pos_;
        while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
        return pos_ > start;
    }
    void skipPast(std::wstring_view end) {
        const size_t found = text_.find(end, pos_);
        if (found == std::wstring::npos) fail(XmlFault::Malformed);
        pos_ = found + end.size();
    }

    // A name with at most one ":", neither first nor last.
    std::wstring name() {
        const size_t start = pos_;
        if (pos_ >= text_.size() || !IsNameStart(text_[pos_])) fail(XmlFault::Malformed);
        while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
        std::wstring n = text_.substr(start, pos_ - start);
        const size_t colon = n.find(L':');
        const bool badColon = colon == 0 || colon + 1 == n.size() || n.find(L':', colon + 1) != std::wstring::npos;
        if (colon != std::wstring::npos && badColon) fail(XmlFault::Malformed);
        return n;
    }

    // Comments, processing instructions and spaces outside the root. A
    // document type declaration is refused before a byte of it is read.
    void misc() {
        for (;;) {
            skipSpace();
            if (at(L"<!--")) comment();
            else if (at(L"<!DOCTYPE")) fail(XmlFault::Doctype);
            else if (at(L"<?")) instruction();
            else return;
        }
    }
    void comment() {
        pos_ += 4;
        skipPast(L"--");
        if (!at(L">")) fail(XmlFault::Malformed);  // "--" inside a comment
        ++pos_;
    }
    void instruction() {
        pos_ += 2;
        std::wstring target = name();
        for (wchar_t& c : target) c = static_cast<wchar_t>(c | 0x20);
        if (target == L"xml") fail(XmlFault::Malformed);  // a declaration anywhere but first
        skipPast(L"?>");
    }

    // At "&": the predefined five and character references; any other
    // entity is unknown, since no DTD is read that could declare one.
    std::wstring reference() {
        ++pos_;
        const size_t semi = text_.find(L';', pos_);
        if (semi == std::wstring::npos || semi == pos_) fail(XmlFault::Malformed);
        const std::wstring_view ref(text_.data() + pos_, semi - pos_);
        if (ref[0] == L'#') {
            const bool hex = ref.size() > 1 && ref[1] == L'x';
            const std::wstring_view digits = ref.substr(hex ? 2 : 1);
            uint32_t c = 0;
            bool ok = !digits.empty();
            for (wchar_t d : digits) {
                const int v = d >= L'0' && d <= L'9' ? d - L'0'
                              : hex && d >= L'a' && d <= L'f' ? d - L'a' + 10
                              : hex && d >= L'A' && d <= L'F' ? d - L'A' + 10
                                                              : -1;
                if (v < 0 || c > 0x10FFFF) ok = false;
                if (!ok) break;
                c = c * (hex ? 16 : 10) + static_cast<uint32_t>(v);
            }
            if (!ok || !IsXmlChar(c)) fail(XmlFault::Entity);
            pos_ = semi + 1;
            std::wstring out;
            AppendCodePoint(out, c);
            return out;
        }
        static const struct {
            std::wstring_view name, text;
        } kPredefined[] = {{L"lt", L"<"}, {L"gt", L">"}, {L"amp", L"&"}, {L"quot", L"\""}, {L"apos", L"'"}};
        for (const auto& p : kPredefined) {
            if (ref == p.name) {
                pos_ = semi + 1;
                return std::wstring(p.text);
            }
        }
        bool isName = IsNameStart(ref[0]);
        for (wchar_t c : ref) isName = isName && IsNameChar(c);
        fail(isName ? XmlFault::Entity : XmlFault::Malformed);
    }

    std::wstring attributeValue() {
        if (!at(L"\"") && !at(L"'")) fail(XmlFault::Malformed);
        const wchar_t quote = text_[pos_++];
        std::wstring value;
        for (;;) {
            if (pos_ >= text_.size() || text_[pos_] == L'<') fail(XmlFault::Malformed);
            const wchar_t c = text_[pos_];
            if (c == quote) break;
            if (c == L'&') {
                value += reference();
            } else {
                value.push_back(IsSpace(c) ? L' ' : c);
                ++pos_;
            }
        }
        ++pos_;
        return value;
    }

    // The namespace a prefix ("" for the default) is bound to where the
    // reader stands; an unbound prefix is malformed.
    std::wstring lookup(const std::wstring& prefix) const {
        if (prefix == L"xml") return std::wstring(kXmlNamespace);
        for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it)
            if (it->first == prefix) return it->second;
        if (!prefix.empty()) fail(XmlFault::Malformed);
        return {};
    }
    static std::pair<std::wstring, std::wstring> split(const std::wstring& qname) {
        const size_t colon = qname.find(L':');
        if (colon == std::wstring::npos) return {L"", qname};
        return {qname.substr(0, colon), qname.substr(colon + 1)};
    }

    XmlElement element(int depth) {
        if (depth > maxDepth_) fail(XmlFault::TooDeep);
        expect(L"<");
        const std::wstring qname = name();
        std::vector<std::pair<std::wstring, std::wstring>> raw;
        for (;;) {
            const bool spaced = skipSpace();
            if (at(L"/>") || at(L">")) break;
            if (!spaced) fail(XmlFault::Malformed);
            std::wstring attribute = name();
            skipSpace();
            expect(L"=");
            skipSpace();
            std::wstring value = attributeValue();
            for (const auto& r : raw)
                if (r.first == attribute) fail(XmlFault::Malformed);
            raw.emplace_back(std::move(attribute), std::move(value));
        }
        const size_t outerBindings = bindings_.size();
        for (const auto& [attribute, value] : raw) {
            if (attribute == L"xmlns") bindings_.emplace_back(L"", value);
            else if (attribute.rfind(L"xmlns:", 0) == 0) {
                if (value.empty()) fail(XmlFault::Malformed);
                bindings_.emplace_back(attribute.substr(6), value);
            }
        }
        XmlElement e;
        auto [prefix, local] = split(qname);
        e.ns = lookup(prefix);
        e.name = std::move(local);
        for (auto& [attribute, value] : raw) {
            if (attribute == L"xmlns" || attribute.rfind(L"xmlns:", 0) == 0) continue;
            auto [attributePrefix, attributeLocal] = split(attribute);
            if (!attributePrefix.empty()) lookup(attributePrefix);
            e.attributes.emplace_back(std::move(attributeLocal), std::move(value));
        }
        if (at(L"/>")) {
            pos_ += 2;
        } else {
            ++pos_;
            content(e, depth);
            expect(L"</");
            if (name() != qname) fail(XmlFault::Malformed);
            skipSpace();
            expect(L">");
        }
        bindings_.resize(outerBindings);
        return e;
    }

    // Up to the end tag of `e`: its text, CDATA, children, comments and
    // processing instructions.
    void content(XmlElement& e, int depth) {
        for (;;) {
            if (pos_ >= text_.size()) fail(XmlFault::Malformed);
            if (at(L"</")) return;
            if (at(L"<!--")) {
                comment();
            } else if (at(L"<![CDATA[")) {
                pos_ += 9;
                const size_t start = pos_;
                skipPast(L"]]>");
                e.text.append(text_, start, pos_ - 3 - start);
            } else if (at(L"<!DOCTYPE")) {
                fail(XmlFault::Doctype);
            } else if (at(L"<?")) {
                instruction();
            } else if (at(L"<")) {
                e.children.push_back(element(depth + 1));
            } else if (at(L"&")) {
                e.text += reference();
            } else {
                if (at(L"]]>")) fail(XmlFault::Malformed);
                e.text.push_back(text_[pos_++]);
            }
        }
    }

    const std::wstring& text_;
    size_t pos_ = 0;
    const int maxDepth_;
    std::vector<std::pair<std::wstring, std::wstring>> bindings_;  // prefix, URI; innermost last
};

}  // namespace

const std::wstring* XmlElement::attribute(const std::wstring& local) const {
    for (const auto& [n, v] : attributes)
        if (n == local) return &v;
    return nullptr;
}

XmlDocument parseXml(const std::string& bytes, size_t maxBytes, int maxDepth) {
    XmlDocument doc;
    try {
        if (bytes.size() > maxBytes) throw Fault{XmlFault::TooLarge, 0};
        const size_t from = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        const std::wstring text = Decode(bytes, from);
        doc.root = Parser(text, maxDepth).document();
    } catch (const Fault& f) {
        doc.fault = f.kind;
        doc.line = f.line;
    }
    return doc;
}

}  // namespace zeb
