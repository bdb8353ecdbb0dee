#include "flag.h"

#include <QList>
#include <QTextBoundaryFinder>

namespace velmora::Flag {

namespace {
// Offset from 'A' (U+0041) to REGIONAL INDICATOR SYMBOL LETTER A (U+1F1E6).
constexpr char32_t regionalIndicatorOffset = 0x1F1A5;

qsizetype graphemeCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}
} // namespace

QString loading()
{
    return QStringLiteral(u"\U0001F310");
}

QString offline()
{
    return QStringLiteral(u"\u26A0\uFE0F");
}

QString emoji(const QString &code)
{
    // QString::toUpper applies the locale-independent full case mapping.
    const QString upper = code.toUpper();
    if (graphemeCount(upper) != 2)
        return loading();

    QString flag;
    for (const char32_t scalar : upper.toUcs4()) {
        if (scalar < U'A' || scalar > U'Z')
            return loading();
        const char32_t indicator = scalar + regionalIndicatorOffset;
        flag += QString::fromUcs4(&indicator, 1);
    }
    return flag;
}

} // namespace velmora::Flag
