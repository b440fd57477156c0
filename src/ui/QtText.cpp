#include "ui/QtText.h"

#include "core/Encoding.h"

namespace velmora {

QString toQString(std::string_view gbk)
{
    const std::string utf8 = encoding::gbkToUtf8(gbk);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toGbk(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return encoding::utf8ToGbk(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

} // namespace velmora
