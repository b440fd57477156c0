#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

// Owners of libcurl's C handles. Their destructors release the handle and
// cannot throw.
namespace velmora::curl {

struct EasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

struct MultiDeleter {
    void operator()(CURLM* handle) const noexcept { curl_multi_cleanup(handle); }
};
using Multi = std::unique_ptr<CURLM, MultiDeleter>;

struct ShareDeleter {
    void operator()(CURLSH* handle) const noexcept { curl_share_cleanup(handle); }
};
using Share = std::unique_ptr<CURLSH, ShareDeleter>;

// A request header list. A line that cannot be appended (out of memory) is
// dropped; the lines appended before it stay.
class HeaderList {
public:
    HeaderList() = default;
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    ~HeaderList() { curl_slist_free_all(head_); }

    void append(const std::string& line)
    {
        if (curl_slist* grown = curl_slist_append(head_, line.c_str())) {
            head_ = grown;
        }
    }

    curl_slist* get() const { return head_; }

private:
    curl_slist* head_ = nullptr;
};

}  // namespace velmora::curl
