#pragma once

#include <string>

// The texts of a chapter row's status column, in GBK, in the order a row
// passes through them.
namespace velmora::ChapterStatus {

const std::string& waiting();       // "等待下载": row made, not yet started
const std::string& downloading();   // "正在下载": first attempt running
std::string retrying(int attempt);  // "重试下载" + attempt number
const std::string& done();          // "下载完毕": chapter file written
const std::string& failed();        // "失败3次": given up
const std::string& saveFailed();    // "保存失败": fetched, but the file could not be written

}  // namespace velmora::ChapterStatus
