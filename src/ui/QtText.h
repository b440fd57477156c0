#pragma once

#include <QString>

#include <string>
#include <string_view>

// The program keeps its text in GBK; the widgets hold Unicode. These two are
// the only crossing points.
namespace velmora {

QString toQString(std::string_view gbk);
std::string toGbk(const QString& text);

} // namespace velmora
