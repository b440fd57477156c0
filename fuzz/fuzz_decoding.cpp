// Arbitrary response bodies through every decoding step, old and new.
#include "web/PageDecoding.h"
#include "web/PageEncoding.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string inflated = velmora::DecompressGzip(bytes);
    const std::string page = velmora::DecodePageBody(bytes, "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n");
    if (page.size() > inflated.size() || page.find('\0') != std::string::npos) {
        __builtin_trap();
    }
    const std::string gbk = velmora::Utf8ToGbk(bytes);
    if (gbk.find('\0') != std::string::npos) {
        __builtin_trap();
    }
    velmora::ConvertIfUtf8(velmora::DecodePageBody(bytes, "Content-Type: text/html"));

    // The decoder that reads the encoding from the bytes, under every setting.
    for (const velmora::PageEncoding setting : {velmora::PageEncoding::automatic, velmora::PageEncoding::gbk,
                                                velmora::PageEncoding::utf8, velmora::PageEncoding::big5}) {
        const velmora::DecodedPage decoded =
            velmora::decodePage(bytes, "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n", setting);
        if (decoded.text.find('\0') != std::string::npos || (decoded.encoding.empty() && !decoded.tooLarge)) {
            __builtin_trap();
        }
    }
    return 0;
}
