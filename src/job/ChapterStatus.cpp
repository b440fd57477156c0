#include "job/ChapterStatus.h"

#include "core/Encoding.h"
#include "core/Text.h"

namespace velmora {

const std::string& ChapterStatus::waiting()
{
    static const std::string text = encoding::toGbk("等待下载");
    return text;
}

const std::string& ChapterStatus::downloading()
{
    static const std::string text = encoding::toGbk("正在下载");
    return text;
}

std::string ChapterStatus::retrying(int attempt)
{
    static const std::string text = encoding::toGbk("重试下载");
    return text + text::decimal(attempt);
}

const std::string& ChapterStatus::done()
{
    static const std::string text = encoding::toGbk("下载完毕");
    return text;
}

const std::string& ChapterStatus::failed()
{
    static const std::string text = encoding::toGbk("失败3次");
    return text;
}

const std::string& ChapterStatus::saveFailed()
{
    static const std::string text = encoding::toGbk("保存失败");
    return text;
}

}  // namespace velmora
