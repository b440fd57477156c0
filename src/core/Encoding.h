#pragma once

#include <string>
#include <string_view>

// Conversions between the program's GBK (code page 936) text and UTF-8, for
// the edges where text meets Unicode: the regular-expression engine, the
// windows and the embedded browser. Safe to call from any thread.
namespace velmora::encoding {

// Length of the well-formed UTF-8 sequence at the start of a non-empty `s`
// (1 for an ASCII byte, up to 4), or 0 when none starts there: a stray
// continuation byte, an overlong form, a surrogate, a code point past
// U+10FFFF, or a sequence cut short.
std::size_t utf8SequenceLength(std::string_view s);

// Bytes that form no GBK character come out as U+FFFD, one per byte.
std::string gbkToUtf8(std::string_view gbk);

// `bytes` in the character set `charset` names (as iconv knows it: "BIG5",
// "UTF-16LE", "GB18030") as UTF-8. A byte that starts no character of the
// set comes out as U+FFFD; an unknown set gives an empty text.
std::string toUtf8(std::string_view bytes, const char* charset);

// Every character that code page 936 cannot hold, and every malformed UTF-8
// sequence, comes out as "?".
std::string toGbk(std::string_view utf8);
// How many "?" a conversion to GBK put in: those of `gbk` beyond those of
// `source`. GBK never uses the byte "?" inside a character, and neither does
// UTF-8, so each one more stands for a character GBK cannot hold (or a
// malformed one).
std::size_t questionMarksAdded(std::string_view source, std::string_view gbk);

// The UTF-8 form of a code point below 0x110000 (surrogates included, as
// their three bytes; the caller rejects what it does not want).
std::string codePointToUtf8(char32_t codePoint);

}  // namespace velmora::encoding
