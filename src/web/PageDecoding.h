#pragma once

#include <string>
#include <string_view>

// Turning an HTTP response into page text: GBK bytes up to the first zero
// byte. None of these fails; bad input gives a short or empty text.
namespace velmora {

// Decompresses `body` when "Content-Encoding: gzip" occurs in the response
// header text (letter case ignored, spacing exact), then cuts it at its first
// zero byte. The header block is never consulted for the character set.
// A decompressed page past the cap gives an empty text and sets `*tooLarge`
// (see `DecompressGzip`); `*tooLarge` is cleared otherwise.
std::string DecodePageBody(std::string_view body, std::string_view responseHeaders, bool* tooLarge = nullptr);

// The text converted from UTF-8 to GBK when it holds "charset=utf-8" or
// "charset=\"utf-8" (letter case ignored); otherwise the text unchanged.
std::string ConvertIfUtf8(std::string_view text);

// The bytes of a gzip stream (RFC 1952). Further members that follow the
// first are decompressed and appended; bytes after the last member that do
// not open a new one are ignored. A stream cut short, or corrupt part-way,
// gives what was decompressed before the fault (possibly nothing).
//
// The output is capped at `httpLimits().maxBodyBytes` (64 MiB unless set
// otherwise): past it, decompression stops at once, the result is empty and
// `*tooLarge` is set, so a small body that inflates to gigabytes costs no
// more memory than the cap. `*tooLarge` is cleared otherwise.
std::string DecompressGzip(std::string_view compressed, bool* tooLarge = nullptr);

// UTF-8 to GBK, up to the first zero byte. Characters GBK cannot hold and
// malformed sequences come out as "?".
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace velmora
