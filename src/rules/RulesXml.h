#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reader and writer for the rules file's small XML dialect. Every text is a
// GBK byte string, kept as bytes: values keep CR LF and lone CR as they stand,
// and element names may begin with a digit or be made of double-byte
// characters (rule names such as "52中文网" are element names).
namespace velmora {

struct XmlAttribute {
    std::string name;
    std::string value;

    bool operator==(const XmlAttribute&) const = default;
};

struct XmlElement {
    std::string name;
    std::vector<XmlAttribute> attributes;  // in document order
    std::vector<XmlElement> children;
    // Character data with the references resolved. In an element that has
    // children, each run of text between them is trimmed of white space; a
    // text that is only white space is dropped.
    std::string text;

    bool operator==(const XmlElement&) const = default;

    // The first attribute of that name, or null.
    const XmlAttribute* attribute(std::string_view attributeName) const;
    XmlAttribute* attribute(std::string_view attributeName);
};

// Whether `name` can be written as it is, without references, as an element
// or attribute name, and so may be given to a new rule: not empty, no ASCII white space, control character,
// full-width space (A1 A1) or any of / > < & = " ', no "!" or "?" in front,
// and no lead byte of a double-byte character left without its second byte
// at the end. A double-byte character is taken whole.
bool isUsableXmlName(std::string_view name);

// The root element of `bytes`, or nothing when they are not a complete,
// well-formed document: the root must be closed, every tag finished, every
// attribute value quoted, every "&" one of the five entities (&amp; &lt;
// &gt; &quot; &apos;) or a character reference that GBK can hold, every
// attribute name usable, and nothing but white space, comments and
// processing instructions may stand around the root. An element name is a
// rule's name: any run of characters up to white space, "/" or ">", with
// its references resolved, so names holding & < > = or quotes read whole. Comments, processing instructions and the
// declaration are not kept. Elements nest at most 64 deep.
std::optional<XmlElement> parseXmlDocument(std::string_view bytes);

// The document as the declaration `<?xml version="1.0" encoding="gb18030"?>`,
// CR LF and the root element. Each child starts a line of its own (CR LF and
// one TAB per level); an element without children or text is written
// self-closing, except the root, whose end tag follows on the next line.
// Attribute names are written as they are; values and text with &, <, >, "
// and ' written as the five entities; element names likewise, with white
// space, "/" and a leading "!" or "?" written as character references, so
// that every name reads back as it was. No line break follows the root's end
// tag.
std::string writeXmlDocument(const XmlElement& root);

}  // namespace velmora
