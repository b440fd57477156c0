#pragma once

#include <string>
#include <string_view>

// Conversions between the program's GBK (code page 936) text and UTF-8, for
// the edges where text meets Unicode: the regular-expression engine, the
// windows and the embedded browser. Safe to call from any thread.
namespace velmora::encoding {

// Bytes that form no GBK character come out as U+FFFD, one per byte.
std::string gbkToUtf8(std::string_view gbk);

// Every character that code page 936 cannot hold, and every malformed UTF-8
// sequence, comes out as "?".
std::string utf8ToGbk(std::string_view utf8);

// The UTF-8 form of a code point below 0x110000 (surrogates included, as
// their three bytes; the caller rejects what it does not want).
std::string codePointToUtf8(char32_t codePoint);

} // namespace velmora::encoding
