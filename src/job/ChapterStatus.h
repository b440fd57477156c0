#pragma once

#include <string>

namespace velmora {

// The texts of a chapter row's status column, in GBK, in the order a row
// passes through them. A struct of static functions rather than a namespace,
// so the name keeps the spelling the rest of the program uses for it.
struct ChapterStatus {
    ChapterStatus() = delete;

    static const std::string& waiting();       // "等待下载": row made, not yet started
    static const std::string& downloading();   // "正在下载": first attempt running
    static std::string retrying(int attempt);  // "重试下载" + attempt number
    static const std::string& done();          // "下载完毕": chapter file written
    static const std::string& failed();        // "失败3次": given up
    static const std::string& saveFailed();    // "保存失败": fetched, but the file could not be written
};

}  // namespace velmora
