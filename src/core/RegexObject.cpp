#include "core/RegexObject.h"

#include "core/Encoding.h"
#include "core/QuotePlaceholder.h"
#include "core/Text.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <memory>

namespace velmora {
namespace {

constexpr std::size_t kUnset = std::string::npos;
static_assert(PCRE2_UNSET == kUnset);

// Backtracking bounds: a runaway pattern fails the run instead of stalling
// the retrieval thread or eating the machine's memory.
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 16 * 1024 * 1024;
constexpr uint32_t kHeapLimitKiB = 256 * 1024;

struct PcreDeleter {
    void operator()(pcre2_code* p) const noexcept { pcre2_code_free(p); }
    void operator()(pcre2_compile_context* p) const noexcept { pcre2_compile_context_free(p); }
    void operator()(pcre2_match_context* p) const noexcept { pcre2_match_context_free(p); }
    void operator()(pcre2_match_data* p) const noexcept { pcre2_match_data_free(p); }
    void operator()(pcre2_jit_stack* p) const noexcept { pcre2_jit_stack_free(p); }
};
template <typename T>
using PcrePtr = std::unique_ptr<T, PcreDeleter>;

const PCRE2_UCHAR* units(std::string_view s)
{
    return reinterpret_cast<const PCRE2_UCHAR*>(s.data());
}

std::size_t nextCharacter(std::string_view utf8, std::size_t at)
{
    ++at;
    while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80) {
        ++at;
    }
    return at;
}

// Turns offsets into the UTF-8 copy of a GBK text into offsets into the GBK
// text itself. The conversion turns each GBK byte it cannot read into one
// U+FFFD and every other character into exactly one character, so one walk
// over both texts keeps them in step. False when the texts do not line up,
// which would mean the converter broke that promise.
bool mapToGbk(std::string_view gbk, std::string_view utf8, std::vector<std::size_t>& offsets)
{
    std::vector<std::size_t*> order;
    order.reserve(offsets.size());
    for (std::size_t& o : offsets) {
        if (o != kUnset) {
            order.push_back(&o);
        }
    }
    std::sort(order.begin(), order.end(), [](const std::size_t* a, const std::size_t* b) { return *a < *b; });

    std::size_t u = 0;
    std::size_t g = 0;
    const auto stepTo = [&](std::size_t target) {
        while (u < target && g < gbk.size()) {
            const bool unreadable = utf8.compare(u, 3, "\xEF\xBF\xBD") == 0;
            g += unreadable || !text::isLeadByte(static_cast<unsigned char>(gbk[g])) ? 1 : 2;
            u = nextCharacter(utf8, u);
        }
        return u == target && g <= gbk.size();
    };
    for (std::size_t* o : order) {
        if (!stepTo(*o)) {
            return false;
        }
        *o = g;
    }
    return stepTo(utf8.size()) && g == gbk.size();
}

}  // namespace

bool RegexObject::run(std::string_view pattern, std::string_view subject, bool caseSensitive, bool multiline,
                      bool global, bool quotePlaceholder)
{
    pattern_ = quotePlaceholder ? resolveQuotePlaceholder(pattern) : std::string(pattern);
    subject_ = std::string(subject);
    succeeded_ = false;
    groups_ = 0;
    offsets_.clear();
    errorMessage_.clear();
    errorOffset_ = -1;

    const std::string utf8Pattern = encoding::gbkToUtf8(pattern_);
    const std::string utf8Subject = encoding::gbkToUtf8(subject_);

    const PcrePtr<pcre2_compile_context> compileContext(pcre2_compile_context_create(nullptr));
    if (!compileContext) {
        return false;
    }
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_ANYCRLF);
    uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF
                       | PCRE2_NEVER_BACKSLASH_C | PCRE2_DOLLAR_ENDONLY;
    if (!caseSensitive) {
        options |= PCRE2_CASELESS;
    }
    if (multiline) {
        options |= PCRE2_MULTILINE;
    }
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    const PcrePtr<pcre2_code> code(
        pcre2_compile(units(utf8Pattern), utf8Pattern.size(), options, &errorCode, &errorOffset, compileContext.get()));
    if (!code) {
        noteError(errorCode);
        // The offset counts UTF-8 code units; people count characters.
        errorOffset_ = 0;
        for (std::size_t i = 0; i < errorOffset && i < utf8Pattern.size(); i = nextCharacter(utf8Pattern, i)) {
            ++errorOffset_;
        }
        return false;
    }
    const bool jit = pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) == 0;

    const PcrePtr<pcre2_match_data> matchData(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    const PcrePtr<pcre2_match_context> matchContext(pcre2_match_context_create(nullptr));
    const PcrePtr<pcre2_jit_stack> jitStack(jit ? pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr)
                                                : nullptr);
    if (!matchData || !matchContext) {
        return false;
    }
    pcre2_set_heap_limit(matchContext.get(), kHeapLimitKiB);
    if (jitStack) {
        pcre2_jit_stack_assign(matchContext.get(), nullptr, jitStack.get());
    }

    uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    const std::size_t pairs = captures + 1;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());

    // The first call checks the subject's UTF-8 once; later calls skip that
    // check, which would otherwise cost a pass over the whole page per match.
    uint32_t matchOptions = 0;
    std::vector<std::size_t> found;
    std::size_t start = 0;
    while (start <= utf8Subject.size()) {
        const int rc = pcre2_match(code.get(), units(utf8Subject), utf8Subject.size(), start, matchOptions,
                                   matchData.get(), matchContext.get());
        matchOptions = PCRE2_NO_UTF_CHECK;
        if (rc == PCRE2_ERROR_NOMATCH) {
            break;
        }
        if (rc <= 0) {
            noteError(rc);
            return false;
        }
        for (std::size_t i = 0; i < pairs; ++i) {
            const bool set = i < static_cast<std::size_t>(rc) && ovector[2 * i] != PCRE2_UNSET;
            found.push_back(set ? ovector[2 * i] : kUnset);
            found.push_back(set ? ovector[2 * i + 1] : kUnset);
        }
        if (!global) {
            break;
        }
        const std::size_t end = std::max(ovector[1], start);
        start = end > ovector[0] ? end : nextCharacter(utf8Subject, end);
    }

    if (!mapToGbk(subject_, utf8Subject, found)) {
        return false;
    }
    offsets_ = std::move(found);
    groups_ = static_cast<int>(captures);
    succeeded_ = true;
    return true;
}

int RegexObject::matchCount() const
{
    return static_cast<int>(offsets_.size() / (2 * (static_cast<std::size_t>(groups_) + 1)));
}

int RegexObject::groupCount() const
{
    return matchCount() > 0 ? groups_ : 0;
}

std::size_t RegexObject::offset(int m, int g, int side) const
{
    const std::size_t pairs = static_cast<std::size_t>(groups_) + 1;
    return offsets_[(static_cast<std::size_t>(m - 1) * pairs + static_cast<std::size_t>(g)) * 2
                    + static_cast<std::size_t>(side)];
}

std::string RegexObject::slice(std::size_t begin, std::size_t end) const
{
    if (begin == kUnset || end == kUnset || begin >= end) {
        return {};
    }
    return subject_.substr(begin, end - begin);
}

bool RegexObject::groupRange(int m, int g, std::size_t& begin, std::size_t& end) const
{
    if (m < 1 || m > matchCount() || g < 0 || g > groups_ || offset(m, g, 0) == kUnset) {
        return false;
    }
    begin = offset(m, g, 0);
    end = offset(m, g, 1);
    return true;
}

void RegexObject::noteError(int code)
{
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer);
    errorMessage_ = length > 0 ? std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length))
                               : "PCRE2 error " + std::to_string(code);
}

std::string RegexObject::groupText(int m, int g) const
{
    if (m < 1 || m > matchCount() || g < 1 || g > groups_) {
        return {};
    }
    return slice(offset(m, g, 0), offset(m, g, 1));
}

std::string RegexObject::matchText(int m) const
{
    if (m < 1 || m > matchCount()) {
        return {};
    }
    return slice(offset(m, 0, 0), offset(m, 0, 1));
}

std::string RegexObject::replaceAll(std::string_view replacement) const
{
    if (!succeeded_) {
        return {};
    }
    std::string result;
    result.reserve(subject_.size());
    std::size_t copied = 0;
    for (int m = 1; m <= matchCount(); ++m) {
        const std::size_t begin = offset(m, 0, 0);
        const std::size_t end = offset(m, 0, 1);
        result.append(subject_, copied, begin - copied);
        // '$' and digits lie below every GBK trail byte, so a byte-wise scan
        // never mistakes half a character for them.
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            const char c = replacement[i];
            const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
            if (c != '$' || next == '\0') {
                result += c;
                continue;
            }
            if (next == '$') {
                result += '$';
                ++i;
            } else if (next == '&') {
                result.append(subject_, begin, end - begin);
                ++i;
            } else if (next == '`') {
                result.append(subject_, 0, begin);
                ++i;
            } else if (next == '\'') {
                result.append(subject_, end);
                ++i;
            } else if (next >= '0' && next <= '9') {
                const int one = next - '0';
                const char third = i + 2 < replacement.size() ? replacement[i + 2] : '\0';
                const int two = third >= '0' && third <= '9' ? one * 10 + (third - '0') : 0;
                if (two >= 1 && two <= groups_) {
                    result += slice(offset(m, two, 0), offset(m, two, 1));
                    i += 2;
                } else if (one >= 1 && one <= groups_) {
                    result += slice(offset(m, one, 0), offset(m, one, 1));
                    ++i;
                } else {
                    result += c;
                }
            } else {
                result += c;
            }
        }
        copied = end;
    }
    result.append(subject_, copied);
    return result;
}

std::string RegexObject::currentPattern() const
{
    return pattern_;
}

}  // namespace velmora
