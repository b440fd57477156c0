#include "web/PageDecoding.h"

#include "core/Encoding.h"
#include "core/Text.h"
#include "web/HttpRequest.h"

#include <algorithm>
#include <array>
#include <zlib.h>

namespace velmora {
namespace {

constexpr std::size_t kChunk = 8192;

// One inflate stream that reads gzip framing; released whatever happens.
class GzipInflater {
public:
    GzipInflater() { ok_ = inflateInit2(&stream_, 16 + MAX_WBITS) == Z_OK; }
    ~GzipInflater()
    {
        if (ok_) {
            inflateEnd(&stream_);
        }
    }
    GzipInflater(const GzipInflater&) = delete;
    GzipInflater& operator=(const GzipInflater&) = delete;

    bool ok() const { return ok_; }
    z_stream& stream() { return stream_; }
    bool reset() { return inflateReset(&stream_) == Z_OK; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

bool opensGzipMember(std::string_view rest)
{
    return rest.size() >= 2 && static_cast<unsigned char>(rest[0]) == 0x1F
           && static_cast<unsigned char>(rest[1]) == 0x8B;
}

}  // namespace

std::string DecompressGzip(std::string_view compressed, bool* tooLarge)
{
    if (tooLarge != nullptr) {
        *tooLarge = false;
    }
    // A few kilobytes of gzip can stand for gigabytes of page.
    const std::size_t cap = httpLimits().maxBodyBytes;
    std::string result;
    GzipInflater inflater;
    if (!inflater.ok()) {
        return result;
    }
    z_stream& zs = inflater.stream();
    std::array<unsigned char, kChunk> out{};
    std::size_t position = 0;
    for (;;) {
        const std::size_t offered = std::min(kChunk, compressed.size() - position);
        // zlib's input pointer is not const-qualified; it never writes through it.
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data() + position));
        zs.avail_in = static_cast<uInt>(offered);
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        const int status = inflate(&zs, Z_NO_FLUSH);
        const std::size_t used = offered - zs.avail_in;
        const std::size_t produced = out.size() - zs.avail_out;
        if (produced > cap - result.size()) {
            if (tooLarge != nullptr) {
                *tooLarge = true;
            }
            return {};
        }
        result.append(reinterpret_cast<const char*>(out.data()), produced);
        position += used;
        if (status == Z_STREAM_END) {
            if (!opensGzipMember(compressed.substr(position)) || !inflater.reset()) {
                break;
            }
            continue;
        }
        // A stream cut short makes no progress once its input is used up.
        if (status != Z_OK || (used == 0 && produced == 0)) {
            break;
        }
    }
    return result;
}

std::string DecodePageBody(std::string_view body, std::string_view responseHeaders, bool* tooLarge)
{
    if (text::find(responseHeaders, "Content-Encoding: gzip", 1, true) >= 1) {
        return std::string(text::untilNul(DecompressGzip(body, tooLarge)));
    }
    if (tooLarge != nullptr) {
        *tooLarge = false;
    }
    return std::string(text::untilNul(body));
}

std::string ConvertIfUtf8(std::string_view text)
{
    if (text::find(text, "charset=utf-8", 1, true) >= 1 || text::find(text, "charset=\"utf-8", 1, true) >= 1) {
        return Utf8ToGbk(text);
    }
    return std::string(text);
}

std::string Utf8ToGbk(std::string_view utf8)
{
    // A zero byte converts to a zero byte, so cutting the input cuts the result at the same place.
    return encoding::toGbk(text::untilNul(utf8));
}

}  // namespace velmora
