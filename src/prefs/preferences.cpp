#include "preferences.h"

#include "colorcode.h"
#include "settingsstore.h"

#include <QCoreApplication>

#include <array>
#include <charconv>

namespace velmora {

namespace {

using namespace Qt::StringLiterals;

const QString themeKey = QStringLiteral("theme");
const QString speedUnitKey = QStringLiteral("speedUnit");
const QString popoverClosesAutomaticallyKey = QStringLiteral("popoverClosesAutomatically");
const QString showIPChangeToastKey = QStringLiteral("showIPChangeToast");
const QString showLiveSpeedKey = QStringLiteral("showLiveSpeed");
const QString buttonStyleKey = QStringLiteral("buttonStyle");
const QString bandwidthDataKey = QStringLiteral("bandwidthData");
const QString uploadOnTopKey = QStringLiteral("uploadOnTop");
const QString customColorsKey = QStringLiteral("customColors");
const QString downloadColorHexKey = QStringLiteral("downloadColorHex");
const QString uploadColorHexKey = QStringLiteral("uploadColorHex");

// Per case, in order of declaration: the stored text (the case name) and the title, in
// English and translated where it is shown (units are not).
struct CaseText
{
    QLatin1StringView raw;
    const char *title;
};
constexpr CaseText themeTexts[] = {
    {"system"_L1, QT_TRANSLATE_NOOP("Settings", "System")},
    {"light"_L1, QT_TRANSLATE_NOOP("Settings", "Light")},
    {"dark"_L1, QT_TRANSLATE_NOOP("Settings", "Dark")},
};
constexpr CaseText speedUnitTexts[] = {
    {"bits"_L1, "Mb/s"},
    {"bytes"_L1, "MB/s"},
};
constexpr CaseText buttonStyleTexts[] = {
    {"singleLine"_L1, QT_TRANSLATE_NOOP("Settings", "Single line")},
    {"doubleLine"_L1, QT_TRANSLATE_NOOP("Settings", "Double line")},
};
constexpr CaseText bandwidthDataTexts[] = {
    {"both"_L1, QT_TRANSLATE_NOOP("Settings", "Download & Upload")},
    {"download"_L1, QT_TRANSLATE_NOOP("Settings", "Download only")},
    {"upload"_L1, QT_TRANSLATE_NOOP("Settings", "Upload only")},
};

template<typename Enum, std::size_t N>
const CaseText &caseText(const CaseText (&texts)[N], Enum value)
{
    static_assert(N == Preferences::allCases<Enum>().size());
    return texts[std::size_t(value)];
}

template<typename Enum> Enum loadCase(const SettingsStore &store, const QString &key, Enum fallback)
{
    const std::optional<QString> stored = store.text(key);
    if (!stored)
        return fallback;
    return Preferences::fromRawValue<Enum>(*stored).value_or(fallback);
}

QJsonValue stored(bool value)
{
    return value;
}

QJsonValue stored(const QString &value)
{
    return value;
}

template<typename Enum> QJsonValue stored(Enum value)
{
    return Preferences::rawValue(value);
}

// printf's "%.Nf" in the C locale whatever the process locale is (QCoreApplication sets it
// from the environment, which could turn the decimal point into a comma).
QString fixed(double value, int decimals)
{
    // Enough for the widest double in fixed notation (309 digits) with a sign and decimals.
    std::array<char, 400> buffer{};
    const std::to_chars_result result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                      value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return QString::number(value, 'f', decimals);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

} // namespace

Preferences::Preferences(SettingsStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    m_theme = loadCase(m_store, themeKey, Theme::system);
    m_speedUnit = loadCase(m_store, speedUnitKey, SpeedUnit::bits);
    m_popoverClosesAutomatically = m_store.boolean(popoverClosesAutomaticallyKey).value_or(true);
    m_showIPChangeToast = m_store.boolean(showIPChangeToastKey).value_or(true);
    m_showLiveSpeed = m_store.boolean(showLiveSpeedKey).value_or(true);
    m_buttonStyle = loadCase(m_store, buttonStyleKey, ButtonStyle::doubleLine);
    m_bandwidthData = loadCase(m_store, bandwidthDataKey, BandwidthData::both);
    m_uploadOnTop = m_store.boolean(uploadOnTopKey).value_or(false);
    m_customColors = m_store.boolean(customColorsKey).value_or(false);
    m_downloadColorHex = m_store.text(downloadColorHexKey).value_or(QStringLiteral("#34C759"));
    m_uploadColorHex = m_store.text(uploadColorHexKey).value_or(QStringLiteral("#0A84FF"));
}

QString Preferences::rawValue(Theme theme)
{
    return caseText(themeTexts, theme).raw;
}

QString Preferences::rawValue(SpeedUnit unit)
{
    return caseText(speedUnitTexts, unit).raw;
}

QString Preferences::rawValue(ButtonStyle style)
{
    return caseText(buttonStyleTexts, style).raw;
}

QString Preferences::rawValue(BandwidthData data)
{
    return caseText(bandwidthDataTexts, data).raw;
}

QString Preferences::title(Theme theme)
{
    return QCoreApplication::translate("Settings", caseText(themeTexts, theme).title);
}

QString Preferences::title(SpeedUnit unit)
{
    return QString::fromLatin1(caseText(speedUnitTexts, unit).title);
}

QString Preferences::title(ButtonStyle style)
{
    return QCoreApplication::translate("Settings", caseText(buttonStyleTexts, style).title);
}

QString Preferences::title(BandwidthData data)
{
    return QCoreApplication::translate("Settings", caseText(bandwidthDataTexts, data).title);
}

// Writes (and applies a theme) before notifying, so that whoever reacts to a change finds
// it already stored and in effect. A value that could not be stored is not kept: what the
// program shows and does must be what the next start finds.
template<typename T>
void Preferences::assign(T &field, const T &value, const QString &key,
                         void (Preferences::*changed)())
{
    const T previous = field;
    const QString errorBefore = m_store.lastError();
    field = value;
    const bool written = m_store.setValue(key, stored(value)).has_value();
    if (!written)
        field = previous;
    if (field != previous)
        Q_EMIT(this->*changed)();
    if (m_store.lastError() != errorBefore)
        Q_EMIT lastWriteErrorChanged();
    if (!written)
        Q_EMIT writeFailed();
}

void Preferences::setTheme(Theme theme)
{
    assign(m_theme, theme, themeKey, &Preferences::themeChanged);
}

void Preferences::setSpeedUnit(SpeedUnit unit)
{
    assign(m_speedUnit, unit, speedUnitKey, &Preferences::speedUnitChanged);
}

void Preferences::setPopoverClosesAutomatically(bool closes)
{
    assign(m_popoverClosesAutomatically, closes, popoverClosesAutomaticallyKey,
           &Preferences::popoverClosesAutomaticallyChanged);
}

void Preferences::setShowIPChangeToast(bool show)
{
    assign(m_showIPChangeToast, show, showIPChangeToastKey, &Preferences::showIPChangeToastChanged);
}

void Preferences::setShowLiveSpeed(bool show)
{
    assign(m_showLiveSpeed, show, showLiveSpeedKey, &Preferences::showLiveSpeedChanged);
}

void Preferences::setButtonStyle(ButtonStyle style)
{
    assign(m_buttonStyle, style, buttonStyleKey, &Preferences::buttonStyleChanged);
}

void Preferences::setBandwidthData(BandwidthData data)
{
    assign(m_bandwidthData, data, bandwidthDataKey, &Preferences::bandwidthDataChanged);
}

void Preferences::setUploadOnTop(bool onTop)
{
    assign(m_uploadOnTop, onTop, uploadOnTopKey, &Preferences::uploadOnTopChanged);
}

void Preferences::setCustomColors(bool custom)
{
    assign(m_customColors, custom, customColorsKey, &Preferences::customColorsChanged);
}

void Preferences::setDownloadColorHex(const QString &hex)
{
    assign(m_downloadColorHex, hex, downloadColorHexKey, &Preferences::downloadColorHexChanged);
}

void Preferences::setUploadColorHex(const QString &hex)
{
    assign(m_uploadColorHex, hex, uploadColorHexKey, &Preferences::uploadColorHexChanged);
}

QColor Preferences::downloadColor() const
{
    return colorFromHex(m_downloadColorHex).value_or(fallbackDownloadColor());
}

QColor Preferences::uploadColor() const
{
    return colorFromHex(m_uploadColorHex).value_or(fallbackUploadColor());
}

QString Preferences::formatRate(double bytesPerSecond, SpeedUnit unit)
{
    static constexpr std::array<const char *, 4> bitLabels{"b/s", "Kb/s", "Mb/s", "Gb/s"};
    static constexpr std::array<const char *, 4> byteLabels{"B/s", "KB/s", "MB/s", "GB/s"};
    const auto &labels = unit == SpeedUnit::bits ? bitLabels : byteLabels;

    // Written as "not above zero" so that a rate that is not a number shows as 0 too.
    double value = 0;
    if (bytesPerSecond > 0)
        value = unit == SpeedUnit::bits ? bytesPerSecond * 8 : bytesPerSecond;

    std::size_t index = 0;
    while (value >= 1000 && index < labels.size() - 1) {
        value /= 1000;
        ++index;
    }
    // Decided before rounding: 99.96 keeps its decimal and prints as "100.0".
    const int decimals = index == 0 || value >= 100 ? 0 : 1;
    return fixed(value, decimals) + QLatin1Char(' ') + QLatin1String(labels[index]);
}

QString Preferences::formatMbps(double megabitsPerSecond) const
{
    if (m_speedUnit == SpeedUnit::bytes)
        return fixed(megabitsPerSecond * 0.125, 1) + QStringLiteral(" MB/s");
    return fixed(megabitsPerSecond, 1) + QStringLiteral(" Mbps");
}

QString Preferences::lastWriteError() const
{
    return m_store.lastError();
}

} // namespace velmora
