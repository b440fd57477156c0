#include "job/ChapterStatus.h"

#include "core/Encoding.h"
#include "core/Text.h"

namespace velmora::ChapterStatus {

const std::string& waiting()
{
    static const std::string text = encoding::utf8ToGbk("等待下载");
    return text;
}

const std::string& downloading()
{
    static const std::string text = encoding::utf8ToGbk("正在下载");
    return text;
}

std::string retrying(int attempt)
{
    static const std::string text = encoding::utf8ToGbk("重试下载");
    return text + text::decimal(attempt);
}

const std::string& done()
{
    static const std::string text = encoding::utf8ToGbk("下载完毕");
    return text;
}

const std::string& failed()
{
    static const std::string text = encoding::utf8ToGbk("失败3次");
    return text;
}

const std::string& saveFailed()
{
    static const std::string text = encoding::utf8ToGbk("保存失败");
    return text;
}

}  // namespace velmora::ChapterStatus
