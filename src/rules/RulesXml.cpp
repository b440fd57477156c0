#include "rules/RulesXml.h"

#include "core/Encoding.h"
#include "core/Text.h"

#include <algorithm>
#include <utility>

namespace velmora {
namespace {

constexpr int kMaxDepth = 64;
constexpr std::size_t kNpos = std::string_view::npos;

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isAllSpace(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), isXmlSpace);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isXmlSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isXmlSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// "#123" or "#x7B": the character in GBK, or false when it is not a
// character XML allows or GBK cannot hold it.
bool appendCharacterReference(std::string_view ref, std::string& out)
{
    const std::optional<char32_t> reference = text::numericReference(ref);
    if (!reference) {
        return false;
    }
    const char32_t cp = *reference;
    const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp < 0xD800)
                         || (cp >= 0xE000 && cp < 0xFFFE) || (cp >= 0x10000 && cp < 0x110000);
    if (!allowed) {
        return false;
    }
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return true;
    }
    const std::string gbk = encoding::toGbk(encoding::codePointToUtf8(cp));
    if (gbk.empty() || gbk == "?") {
        return false;
    }
    out += gbk;
    return true;
}

// Appends `raw` with its references resolved; false on a "<" or on an "&"
// that does not start a known reference.
bool appendDecoded(std::string_view raw, std::string& out)
{
    std::size_t i = 0;
    for (;;) {
        const std::size_t amp = raw.find('&', i);
        const std::string_view plain = raw.substr(i, amp == kNpos ? kNpos : amp - i);
        if (plain.find('<') != kNpos) {
            return false;
        }
        out += plain;
        if (amp == kNpos) {
            return true;
        }
        const std::size_t semi = raw.substr(amp, 12).find(';');
        if (semi == kNpos) {
            return false;
        }
        const std::string_view ref = raw.substr(amp + 1, semi - 1);
        if (ref == "amp") {
            out += '&';
        } else if (ref == "lt") {
            out += '<';
        } else if (ref == "gt") {
            out += '>';
        } else if (ref == "quot") {
            out += '"';
        } else if (ref == "apos") {
            out += '\'';
        } else if (ref.empty() || ref[0] != '#' || !appendCharacterReference(ref, out)) {
            return false;
        }
        i = amp + semi + 1;
    }
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : s_(bytes) {}

    std::optional<XmlElement> document()
    {
        XmlElement root;
        if (!skipMisc() || !at("<") || at("<!") || !element(root, 0) || !skipMisc() || pos_ != s_.size()) {
            return std::nullopt;
        }
        return root;
    }

private:
    bool at(std::string_view token) const { return s_.substr(pos_).starts_with(token); }

    // Moves past `open`, then past the next `close`; false when there is none.
    bool skipBlock(std::string_view open, std::string_view close)
    {
        const std::size_t end = s_.find(close, pos_ + open.size());
        if (end == kNpos) {
            return false;
        }
        pos_ = end + close.size();
        return true;
    }

    bool skipSpace()
    {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && isXmlSpace(s_[pos_])) {
            ++pos_;
        }
        return pos_ != start;
    }

    // White space, comments and processing instructions (the declaration
    // among them) around the root.
    bool skipMisc()
    {
        for (;;) {
            skipSpace();
            if (at("<!--")) {
                if (!skipBlock("<!--", "-->")) {
                    return false;
                }
            } else if (at("<?")) {
                if (!skipBlock("<?", "?>")) {
                    return false;
                }
            } else {
                return true;
            }
        }
    }

    // A name runs up to white space or one of `stops`; the second byte of a
    // double-byte character never ends it.
    std::string_view name(std::string_view stops)
    {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && !isXmlSpace(s_[pos_]) && stops.find(s_[pos_]) == kNpos) {
            pos_ += text::charLength(s_, pos_);
        }
        return s_.substr(start, pos_ - start);
    }

    // An element name: a rule's name, so any run of characters up to white
    // space, "/" or ">", with the references the writer uses for the
    // characters that cannot stand there resolved.
    bool elementName(std::string& out)
    {
        const std::string_view raw = name("/>");
        out.clear();
        return !raw.empty() && appendDecoded(raw, out);
    }

    // At "<": one element with everything in it.
    bool element(XmlElement& el, int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        ++pos_;
        if (!elementName(el.name)) {
            return false;
        }
        for (;;) {
            const bool spaced = skipSpace();
            if (at("/>")) {
                pos_ += 2;
                return true;
            }
            if (at(">")) {
                ++pos_;
                return content(el, depth);
            }
            if (!spaced || !attribute(el)) {
                return false;
            }
        }
    }

    bool attribute(XmlElement& el)
    {
        XmlAttribute attr;
        attr.name = name("=/>");
        if (!isUsableXmlName(attr.name)) {
            return false;
        }
        skipSpace();
        if (!at("=")) {
            return false;
        }
        ++pos_;
        skipSpace();
        if (!at("\"") && !at("'")) {
            return false;
        }
        const std::size_t close = s_.find(s_[pos_], pos_ + 1);
        if (close == kNpos || !appendDecoded(s_.substr(pos_ + 1, close - pos_ - 1), attr.value)) {
            return false;
        }
        pos_ = close + 1;
        el.attributes.push_back(std::move(attr));
        return true;
    }

    // After the start tag: text, comments, CDATA, instructions and child
    // elements up to and including the matching end tag.
    bool content(XmlElement& el, int depth)
    {
        std::string whole;
        std::string pieces;
        const auto addText = [&](std::string_view piece) {
            whole += piece;
            pieces += trimmed(piece);
        };
        for (;;) {
            const std::size_t lt = s_.find('<', pos_);
            if (lt == kNpos) {
                return false;
            }
            std::string piece;
            if (!appendDecoded(s_.substr(pos_, lt - pos_), piece)) {
                return false;
            }
            addText(piece);
            pos_ = lt;
            if (at("</")) {
                pos_ += 2;
                std::string endName;
                const bool matches = elementName(endName) && endName == el.name;
                skipSpace();
                if (!matches || !at(">")) {
                    return false;
                }
                ++pos_;
                break;
            }
            if (at("<!--")) {
                if (!skipBlock("<!--", "-->")) {
                    return false;
                }
            } else if (at("<![CDATA[")) {
                const std::size_t start = pos_ + 9;
                if (!skipBlock("<![CDATA[", "]]>")) {
                    return false;
                }
                addText(s_.substr(start, pos_ - 3 - start));
            } else if (at("<?")) {
                if (!skipBlock("<?", "?>")) {
                    return false;
                }
            } else if (at("<!")) {
                return false;
            } else {
                XmlElement child;
                if (!element(child, depth + 1)) {
                    return false;
                }
                el.children.push_back(std::move(child));
            }
        }
        el.text = el.children.empty() ? std::move(whole) : std::move(pieces);
        if (isAllSpace(el.text)) {
            el.text.clear();
        }
        return true;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

void appendEscaped(std::string& out, std::string_view value)
{
    for (const char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
            break;
        }
    }
}

// An element name, written so that it reads back whole: the five entities,
// and a character reference for white space, "/" and a leading "!" or "?",
// none of which can stand in a name as they are.
void appendEscapedName(std::string& out, std::string_view name)
{
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (isXmlSpace(c) || c == '/' || (i == 0 && (c == '!' || c == '?'))) {
            out += "&#" + std::to_string(static_cast<int>(c)) + ";";
        } else {
            appendEscaped(out, name.substr(i, 1));
        }
    }
}

void writeElement(std::string& out, const XmlElement& el, std::size_t depth)
{
    out += '<';
    appendEscapedName(out, el.name);
    for (const XmlAttribute& attr : el.attributes) {
        out += ' ';
        out += attr.name;
        out += "=\"";
        appendEscaped(out, attr.value);
        out += '"';
    }
    if (el.children.empty() && el.text.empty() && depth > 0) {
        out += "/>";
        return;
    }
    out += '>';
    if (el.children.empty()) {
        if (el.text.empty()) {
            out += "\r\n";
        } else {
            appendEscaped(out, el.text);
        }
    } else {
        if (!el.text.empty()) {
            out += "\r\n";
            out.append(depth + 1, '\t');
            appendEscaped(out, el.text);
        }
        for (const XmlElement& child : el.children) {
            out += "\r\n";
            out.append(depth + 1, '\t');
            writeElement(out, child, depth + 1);
        }
        out += "\r\n";
        out.append(depth, '\t');
    }
    out += "</";
    appendEscapedName(out, el.name);
    out += '>';
}

}  // namespace

const XmlAttribute* XmlElement::attribute(std::string_view attributeName) const
{
    const auto it = std::find_if(attributes.begin(), attributes.end(),
                                 [&](const XmlAttribute& a) { return a.name == attributeName; });
    return it == attributes.end() ? nullptr : &*it;
}

XmlAttribute* XmlElement::attribute(std::string_view attributeName)
{
    return const_cast<XmlAttribute*>(std::as_const(*this).attribute(attributeName));
}

bool isUsableXmlName(std::string_view name)
{
    if (name.empty() || name.front() == '!' || name.front() == '?') {
        return false;
    }
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t len = text::charLength(name, i);
        const auto c = static_cast<unsigned char>(name[i]);
        if (len == 2) {
            if (c == 0xA1 && static_cast<unsigned char>(name[i + 1]) == 0xA1) {
                return false;
            }
        } else if (c <= 0x20 || c == 0x7F || text::isLeadByte(c)
                   || std::string_view("/><&=\"'").find(static_cast<char>(c)) != kNpos) {
            return false;
        }
        i += len;
    }
    return true;
}

std::optional<XmlElement> parseXmlDocument(std::string_view bytes)
{
    return Reader(bytes).document();
}

std::string writeXmlDocument(const XmlElement& root)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"gb18030\"?>\r\n";
    writeElement(out, root, 0);
    return out;
}

}  // namespace velmora
