#include "colorcode.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

std::optional<int> hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return std::nullopt;
}

// Base-16 with an optional sign, as an unsigned parse reads it: "-" is admissible only for
// zero. Qt's own toUInt would also take "0x" and surrounding spaces, which codes must not.
std::optional<quint32> parseUnsignedHex(QStringView digits)
{
    bool negative = false;
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-')) {
        negative = digits.front() == u'-';
        digits = digits.sliced(1);
    }
    if (digits.isEmpty())
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : digits) {
        const std::optional<int> digit = hexDigit(c);
        if (!digit)
            return std::nullopt;
        value = value * 16 + quint32(*digit);
    }
    if (negative && value != 0)
        return std::nullopt;
    return value;
}

// QColor keeps 16 bits a component; scale to 8, halves away from zero.
int to255(quint16 component)
{
    return int(std::lround(component * 255.0 / 65535.0));
}

} // namespace

std::optional<QColor> colorFromHex(QStringView code)
{
    while (!code.isEmpty() && code.front() == u'#')
        code = code.sliced(1);
    while (!code.isEmpty() && code.back() == u'#')
        code.chop(1);
    if (code.size() != 6)
        return std::nullopt;
    const std::optional<quint32> value = parseUnsignedHex(code);
    if (!value)
        return std::nullopt;
    return QColor(int((*value >> 16) & 0xFF), int((*value >> 8) & 0xFF), int(*value & 0xFF));
}

QString hexString(const QColor &color)
{
    if (!color.isValid())
        return QStringLiteral("#FFFFFF");
    const QRgba64 rgb = color.toRgb().rgba64();
    return QStringLiteral("#%1%2%3")
        .arg(to255(rgb.red()), 2, 16, QLatin1Char('0'))
        .arg(to255(rgb.green()), 2, 16, QLatin1Char('0'))
        .arg(to255(rgb.blue()), 2, 16, QLatin1Char('0'))
        .toUpper();
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &color) {
        const auto channel = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
               0.0722 * channel(color.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace velmora
