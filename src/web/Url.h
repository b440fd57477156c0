#pragma once

#include <string>
#include <string_view>

// Address splitters over GBK text. None fails: a malformed address yields a
// possibly empty host, port 0 or the path "/".
namespace velmora {

// The host of an address, lower-cased, without scheme and path; its colon and
// port are kept only when `keepPort` is set.
std::string UrlHost(std::string_view address, bool keepPort = false);

// The port: the number after the host's last colon, else 443 for https and 80
// for anything else. A port that is not a number gives 0.
int UrlPort(std::string_view address);

// The path with its query and fragment, starting with "/".
std::string UrlPath(std::string_view address);

} // namespace velmora
