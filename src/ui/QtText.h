#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

// The program keeps its text in GBK; the widgets hold Unicode. These two are
// the only crossing points.
namespace velmora {

QString toQString(std::string_view gbk);
std::string toGbk(const QString& text);
// The same, setting `unrepresentable` to the number of characters GBK cannot
// hold, each now "?" ("?" already in `text` are not counted).
std::string toGbk(const QString& text, std::size_t& unrepresentable);

}  // namespace velmora
