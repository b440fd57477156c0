#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Turning a response into GBK page text by what its bytes are, for sites
// whose declarations are missing or wrong. It stands beside DecodePageBody
// and ConvertIfUtf8 (PageDecoding.h), which follow the page's "charset=utf-8"
// text alone; wherever that rule gives the right text, decodePage gives the
// same bytes.
namespace velmora {

// A rule's optional encoding setting: `automatic` decides page by page.
enum class PageEncoding { automatic, gbk, utf8, big5 };

// The setting named by `name` in any letter case: "auto" (or empty), "GBK"
// (also "GB2312", "GB18030"), "UTF-8" (also "UTF8"), "Big5"; nullopt for any
// other name.
std::optional<PageEncoding> pageEncodingFromName(std::string_view name);
// "auto", "GBK", "UTF-8" or "Big5".
std::string_view pageEncodingName(PageEncoding encoding);

struct DecodedPage {
    std::string text;                 // GBK, up to the first zero byte
    std::string encoding;             // the encoding read: "UTF-8", "GBK", "GB18030", "Big5", "UTF-16LE", "UTF-16BE"
    std::string why;                  // why that one, a short UTF-8 text for people (never stored with the page)
    std::size_t unrepresentable = 0;  // characters GBK cannot hold (and malformed ones), each now "?"
    bool gzip = false;                // the body was gzip-compressed
    bool tooLarge = false;            // the decompressed page passed the cap (text empty; see DecompressGzip)
};

// The page text of a response: `body` as HttpRequest returned it,
// `responseHeaders` its header block.
//
// The body is decompressed when the Content-Encoding line says gzip or
// x-gzip (any spacing and letter case), or when it starts with the gzip
// magic bytes. Its encoding is then the first of:
//   1. `setting`, unless `automatic`;
//   2. a byte-order mark (UTF-8, UTF-16LE, UTF-16BE), which is dropped;
//   3. UTF-8 when the bytes are valid UTF-8 holding at least one multi-byte
//      character (GBK text practically never is), whatever is declared;
//   4. the charset of the Content-Type header line;
//   5. the charset of the page's first <meta> tag that names one (in its
//      first 64 KiB, `charset=` or `http-equiv` form);
//   6. GB18030 otherwise.
// A declared charset the program does not read (e.g. "iso-8859-1") is
// passed over, and so is a declared UTF-8 that the bytes plainly contradict
// (more malformed sequences than multi-byte characters: a GBK page with a
// wrong label). GBK, GB2312 and GB18030 are read alike: their one- and
// two-byte characters are kept byte for byte, and a four-byte GB18030
// character (outside GBK) becomes "?". Other encodings are converted to GBK,
// a character GBK lacks becoming "?". Each "?" put in is counted in
// `unrepresentable`.
DecodedPage decodePage(std::string_view body, std::string_view responseHeaders,
                       PageEncoding setting = PageEncoding::automatic);

}  // namespace velmora
