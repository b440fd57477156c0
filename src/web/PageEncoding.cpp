#include "web/PageEncoding.h"

#include "core/Encoding.h"
#include "core/Text.h"
#include "web/HttpRequest.h"
#include "web/PageDecoding.h"

#include <algorithm>
#include <array>

namespace velmora {
namespace {

// How far into a page its <meta> charset is looked for. Browsers look at
// the first 1024 bytes; Chinese sites often put long scripts first.
constexpr std::size_t kMetaScanBytes = 64 * 1024;

enum class Source { utf8, gbk, gb18030, big5, utf16le, utf16be };

std::string_view nameOf(Source source)
{
    switch (source) {
    case Source::utf8:
        return "UTF-8";
    case Source::gbk:
        return "GBK";
    case Source::gb18030:
        return "GB18030";
    case Source::big5:
        return "Big5";
    case Source::utf16le:
        return "UTF-16LE";
    case Source::utf16be:
        return "UTF-16BE";
    }
    return {};
}

// The encoding a charset label (lower case) stands for, among those read.
std::optional<Source> sourceOfLabel(std::string_view label)
{
    static constexpr std::array<std::string_view, 3> kUtf8 = {"utf-8", "utf8", "unicode-1-1-utf-8"};
    static constexpr std::array<std::string_view, 13> kGbk = {
        "gbk",    "gb2312",   "gb_2312",  "gb_2312-80", "x-gbk",     "cp936",      "ms936",
        "euc-cn", "x-euc-cn", "csgb2312", "chinese",    "iso-ir-58", "windows-936"};
    static constexpr std::array<std::string_view, 5> kBig5 = {"big5", "big5-hkscs", "cn-big5", "x-x-big5", "csbig5"};
    const auto among = [&](const auto& labels) {
        return std::find(labels.begin(), labels.end(), label) != labels.end();
    };
    if (among(kUtf8)) {
        return Source::utf8;
    }
    if (among(kGbk)) {
        return Source::gbk;
    }
    if (label == "gb18030") {
        return Source::gb18030;
    }
    if (among(kBig5)) {
        return Source::big5;
    }
    return std::nullopt;
}

// The value after the first "charset" followed by "=" in `lowered`, without
// quotes; empty when there is none.
std::string charsetIn(std::string_view lowered)
{
    for (std::size_t at = lowered.find("charset"); at != std::string_view::npos; at = lowered.find("charset", at + 1)) {
        std::size_t i = at + 7;
        const auto skip = [&](std::string_view bytes) {
            while (i < lowered.size() && bytes.find(lowered[i]) != std::string_view::npos) {
                ++i;
            }
        };
        skip(" \t");
        if (i >= lowered.size() || lowered[i] != '=') {
            continue;
        }
        ++i;
        skip(" \t\"'");
        const std::size_t start = i;
        while (i < lowered.size()
               && (std::isalnum(static_cast<unsigned char>(lowered[i])) != 0
                   || std::string_view("-_.:").find(lowered[i]) != std::string_view::npos)) {
            ++i;
        }
        if (i > start) {
            return std::string(lowered.substr(start, i - start));
        }
    }
    return {};
}

// Byte by byte, unlike text::toLowerAscii: the page may not be GBK, and a
// GBK-minded scan would take a UTF-8 byte and the "<" after it for one
// character.
std::string asciiLower(std::string_view bytes)
{
    std::string out(bytes);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

// The charset named by the first <meta> tag that names one.
std::string metaCharset(std::string_view page)
{
    const std::string head = asciiLower(page.substr(0, kMetaScanBytes));
    for (std::size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
        const std::size_t end = head.find('>', at);
        std::string charset = charsetIn(std::string_view(head).substr(at, end == std::string::npos ? end : end - at));
        if (!charset.empty()) {
            return charset;
        }
    }
    return {};
}

struct Utf8Evidence {
    std::size_t multiByte = 0;  // well-formed characters of two to four bytes
    std::size_t malformed = 0;  // bytes that start no well-formed character
};

// A sequence cut short by the end of the page does not count against it.
Utf8Evidence utf8Evidence(std::string_view bytes)
{
    Utf8Evidence evidence;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = encoding::utf8SequenceLength(bytes.substr(i));
        if (length > 0) {
            ++evidence.multiByte;
            i += length;
            continue;
        }
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t wanted = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
        if (lead >= 0xC2 && lead <= 0xF4 && bytes.size() - i < wanted
            && std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(i) + 1, bytes.end(), isContinuation)) {
            break;
        }
        ++evidence.malformed;
        ++i;
    }
    return evidence;
}

struct Conversion {
    std::string text;
    std::size_t unrepresentable = 0;
};

// UTF-8 to GBK as Utf8ToGbk does it, counting the "?" it puts in.
Conversion fromUtf8(std::string_view utf8)
{
    utf8 = text::untilNul(utf8);
    Conversion result{Utf8ToGbk(utf8)};
    result.unrepresentable = encoding::questionMarksAdded(utf8, result.text);
    return result;
}

// GBK, GB2312 and GB18030 alike: one- and two-byte characters byte for byte
// (GBK holds all of them), four-byte GB18030 characters as "?".
Conversion fromGb18030(std::string_view bytes)
{
    bytes = text::untilNul(bytes);
    const auto in = [&](std::size_t i, unsigned char low, unsigned char high) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        return b >= low && b <= high;
    };
    Conversion result;
    result.text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        if (i + 3 < bytes.size() && in(i, 0x81, 0xFE) && in(i + 1, 0x30, 0x39) && in(i + 2, 0x81, 0xFE)
            && in(i + 3, 0x30, 0x39)) {
            result.text.push_back('?');
            ++result.unrepresentable;
            i += 4;
            continue;
        }
        const std::size_t length = text::charLength(bytes, i);
        result.text.append(bytes.substr(i, length));
        i += length;
    }
    return result;
}

Conversion convert(std::string_view bytes, Source source)
{
    switch (source) {
    case Source::utf8:
        return fromUtf8(bytes);
    case Source::gbk:
    case Source::gb18030:
        return fromGb18030(bytes);
    case Source::big5:
        return fromUtf8(encoding::toUtf8(bytes, "BIG5-HKSCS"));
    case Source::utf16le:
        return fromUtf8(encoding::toUtf8(bytes, "UTF-16LE"));
    case Source::utf16be:
        return fromUtf8(encoding::toUtf8(bytes, "UTF-16BE"));
    }
    return {};
}

struct Choice {
    Source source;
    std::string why;
    std::size_t skip = 0;  // bytes of a byte-order mark
};

Choice choose(std::string_view page, std::string_view responseHeaders, PageEncoding setting)
{
    switch (setting) {
    case PageEncoding::automatic:
        break;
    case PageEncoding::gbk:
        return {Source::gbk, "规则指定 GBK"};
    case PageEncoding::utf8:
        return {Source::utf8, "规则指定 UTF-8", page.starts_with("\xEF\xBB\xBF") ? 3u : 0u};
    case PageEncoding::big5:
        return {Source::big5, "规则指定 Big5"};
    }
    if (page.starts_with("\xEF\xBB\xBF")) {
        return {Source::utf8, "字节顺序标记", 3};
    }
    if (page.starts_with("\xFF\xFE")) {
        return {Source::utf16le, "字节顺序标记", 2};
    }
    if (page.starts_with("\xFE\xFF")) {
        return {Source::utf16be, "字节顺序标记", 2};
    }
    const Utf8Evidence evidence = utf8Evidence(page);
    if (evidence.malformed == 0 && evidence.multiByte > 0) {
        return {Source::utf8, "内容是有效的 UTF-8"};
    }
    std::string passedOver;
    const auto declared = [&](const std::string& label, std::string_view where) -> std::optional<Choice> {
        const std::optional<Source> source = sourceOfLabel(label);
        if (!source) {
            if (!label.empty()) {
                passedOver.append("；不认识").append(where).append("的 charset=").append(label);
            }
            return std::nullopt;
        }
        if (*source == Source::utf8 && evidence.multiByte < evidence.malformed) {
            passedOver.append("；").append(where).append("的 charset=").append(label).append(" 与内容不符");
            return std::nullopt;
        }
        return Choice{*source, std::string(where) + "声明 charset=" + label + passedOver};
    };
    const std::string contentType = asciiLower(responseHeaderValue(responseHeaders, "Content-Type"));
    if (std::optional<Choice> choice = declared(charsetIn(contentType), "HTTP 头")) {
        return *choice;
    }
    if (std::optional<Choice> choice = declared(metaCharset(page), "页面 meta ")) {
        return *choice;
    }
    return {Source::gb18030, "未声明可用的编码，按 GB18030" + passedOver};
}

bool isGzipped(std::string_view body, std::string_view responseHeaders)
{
    const std::string coding = asciiLower(responseHeaderValue(responseHeaders, "Content-Encoding"));
    return coding == "gzip" || coding == "x-gzip" || body.starts_with("\x1F\x8B");
}

}  // namespace

std::optional<PageEncoding> pageEncodingFromName(std::string_view name)
{
    const std::string lowered = asciiLower(text::trimSpaces(name));
    if (lowered.empty() || lowered == "auto") {
        return PageEncoding::automatic;
    }
    if (lowered == "gbk" || lowered == "gb2312" || lowered == "gb18030") {
        return PageEncoding::gbk;
    }
    if (lowered == "utf-8" || lowered == "utf8") {
        return PageEncoding::utf8;
    }
    if (lowered == "big5") {
        return PageEncoding::big5;
    }
    return std::nullopt;
}

std::string_view pageEncodingName(PageEncoding encoding)
{
    switch (encoding) {
    case PageEncoding::automatic:
        return "auto";
    case PageEncoding::gbk:
        return "GBK";
    case PageEncoding::utf8:
        return "UTF-8";
    case PageEncoding::big5:
        return "Big5";
    }
    return {};
}

DecodedPage decodePage(std::string_view body, std::string_view responseHeaders, PageEncoding setting)
{
    DecodedPage page;
    std::string inflated;
    if (isGzipped(body, responseHeaders)) {
        page.gzip = true;
        inflated = DecompressGzip(body, &page.tooLarge);
        if (page.tooLarge) {
            return page;
        }
        body = inflated;
    }
    const Choice choice = choose(body, responseHeaders, setting);
    Conversion converted = convert(body.substr(choice.skip), choice.source);
    page.text = std::move(converted.text);
    page.unrepresentable = converted.unrepresentable;
    page.encoding = nameOf(choice.source);
    page.why = choice.why;
    return page;
}

}  // namespace velmora
