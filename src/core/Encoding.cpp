#include "core/Encoding.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <utility>

namespace velmora::encoding {
namespace {

// One iconv descriptor per thread and direction, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `in` whole; `onInvalid` decides how many input bytes an
    // unconvertible or malformed sequence takes and what it becomes.
    template <typename OnInvalid>
    std::string convert(std::string_view in, OnInvalid onInvalid)
    {
        std::string out;
        if (!valid()) {
            return out;
        }
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        std::size_t used = 0;
        while (srcLeft > 0) {
            char* dst = out.data() + used;
            std::size_t dstLeft = out.size() - used;
            const std::size_t rc = iconv(handle_, &src, &srcLeft, &dst, &dstLeft);
            used = out.size() - dstLeft;
            if (rc != static_cast<std::size_t>(-1)) {
                break;
            }
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ or EINVAL: a sequence that does not convert.
            const auto [skip, replacement] = onInvalid(std::string_view(src, srcLeft), errno == EINVAL);
            out.resize(std::max(out.size(), used + replacement.size() + 16));
            // Overwrites in place; GCC 12 at -O3 misreads replace() here (-Wrestrict).
            std::copy(replacement.begin(), replacement.end(), out.begin() + static_cast<std::ptrdiff_t>(used));
            used += replacement.size();
            src += skip;
            srcLeft -= skip;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(used);
        return out;
    }

private:
    iconv_t handle_;
};

// One U+FFFD in place of each byte that starts no character.
std::pair<std::size_t, std::string_view> replacementPerByte(std::string_view, bool)
{
    return {1, "\xEF\xBF\xBD"};
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view s)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned char c = b(0);
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        return cont(1) ? 2 : 0;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) {
            return 0;
        }
        const bool overlong = c == 0xE0 && b(1) < 0xA0;
        const bool surrogate = c == 0xED && b(1) >= 0xA0;
        return overlong || surrogate ? 0 : 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) {
            return 0;
        }
        const bool overlong = c == 0xF0 && b(1) < 0x90;
        const bool beyond = c == 0xF4 && b(1) >= 0x90;
        return overlong || beyond ? 0 : 4;
    }
    return 0;
}

std::string gbkToUtf8(std::string_view gbk)
{
    thread_local Converter converter("UTF-8", "CP936");
    return converter.convert(gbk, replacementPerByte);
}

std::string toUtf8(std::string_view bytes, const char* charset)
{
    Converter converter("UTF-8", charset);
    return converter.convert(bytes, replacementPerByte);
}

std::string toGbk(std::string_view utf8)
{
    // Two single-step conversions through UCS-4. glibc's direct UTF-8 to GBK
    // chain converts a whole internal chunk again after every character GBK
    // cannot hold, which made a page full of such characters take seconds.
    thread_local Converter toUcs4("WCHAR_T", "UTF-8");
    thread_local Converter ucs4ToGbk("CP936", "WCHAR_T");
    static_assert(sizeof(wchar_t) == 4, "WCHAR_T must be UCS-4");
    static constexpr wchar_t kQuestion = L'?';
    const std::string_view questionUnit(reinterpret_cast<const char*>(&kQuestion), sizeof kQuestion);
    const std::string ucs4 = toUcs4.convert(utf8, [&](std::string_view rest, bool) {
        const std::size_t len = utf8SequenceLength(rest);
        return std::pair<std::size_t, std::string_view>(len == 0 ? 1 : len, questionUnit);
    });
    return ucs4ToGbk.convert(
        ucs4, [](std::string_view, bool) { return std::pair<std::size_t, std::string_view>(sizeof(wchar_t), "?"); });
}

std::size_t questionMarksAdded(std::string_view source, std::string_view gbk)
{
    const auto marks = [](std::string_view bytes) { return static_cast<std::size_t>(std::ranges::count(bytes, '?')); };
    const std::size_t before = marks(source);
    const std::size_t after = marks(gbk);
    return after > before ? after - before : 0;
}

std::string codePointToUtf8(char32_t cp)
{
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

}  // namespace velmora::encoding
