// Arbitrary response bodies through every decoding step.
#include "web/PageDecoding.h"

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
    return 0;
}
