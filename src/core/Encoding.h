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

// Length of the well-formed UTF-8 character at the start of `s` (RFC 3629:
// no overlong form, no surrogate, nothing above U+10FFFF), or 0.
std::size_t utf8SequenceLength(std::string_view s);

} // namespace velmora::encoding
