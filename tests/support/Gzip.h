#pragma once

#include <string>
#include <string_view>

namespace velmora::test {

// `data` as one gzip member, made with zlib; empty if zlib fails.
std::string gzipBytes(std::string_view data);

}  // namespace velmora::test
