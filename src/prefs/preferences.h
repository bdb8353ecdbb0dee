#pragma once

#include <QColor>
#include <QObject>
#include <QString>

#include <array>
#include <optional>
#include <span>
#include <type_traits>

namespace velmora {

class SettingsStore;

// The user's settings. Each is loaded once from the store at construction (a missing,
// mistyped or unknown stored value gives the default and stays as it is in the file), and
// each assignment writes it back under its own key, even when unchanged. The change signals
// fire only when a value really changes, after it has been written. An assignment that
// cannot be written is undone: the setting keeps the value that is stored, and writeFailed()
// tells whoever showed the new one.
class Preferences : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Theme theme READ theme WRITE setTheme NOTIFY themeChanged)
    Q_PROPERTY(SpeedUnit speedUnit READ speedUnit WRITE setSpeedUnit NOTIFY speedUnitChanged)
    Q_PROPERTY(bool popoverClosesAutomatically READ popoverClosesAutomatically WRITE
                   setPopoverClosesAutomatically NOTIFY popoverClosesAutomaticallyChanged)
    Q_PROPERTY(bool showIPChangeToast READ showIPChangeToast WRITE setShowIPChangeToast NOTIFY
                   showIPChangeToastChanged)
    Q_PROPERTY(
        bool showLiveSpeed READ showLiveSpeed WRITE setShowLiveSpeed NOTIFY showLiveSpeedChanged)
    Q_PROPERTY(
        ButtonStyle buttonStyle READ buttonStyle WRITE setButtonStyle NOTIFY buttonStyleChanged)
    Q_PROPERTY(BandwidthData bandwidthData READ bandwidthData WRITE setBandwidthData NOTIFY
                   bandwidthDataChanged)
    Q_PROPERTY(bool uploadOnTop READ uploadOnTop WRITE setUploadOnTop NOTIFY uploadOnTopChanged)
    Q_PROPERTY(bool customColors READ customColors WRITE setCustomColors NOTIFY customColorsChanged)
    Q_PROPERTY(QString downloadColorHex READ downloadColorHex WRITE setDownloadColorHex NOTIFY
                   downloadColorHexChanged)
    Q_PROPERTY(QString uploadColorHex READ uploadColorHex WRITE setUploadColorHex NOTIFY
                   uploadColorHexChanged)
    Q_PROPERTY(QColor downloadColor READ downloadColor NOTIFY downloadColorHexChanged)
    Q_PROPERTY(QColor uploadColor READ uploadColor NOTIFY uploadColorHexChanged)
    Q_PROPERTY(QString lastWriteError READ lastWriteError NOTIFY lastWriteErrorChanged)

public:
    // The stored form of every case is its name (rawValue()); the order of declaration is
    // the order in which the settings window offers them (allCases()).
    enum class Theme { system, light, dark };
    Q_ENUM(Theme)
    enum class SpeedUnit { bits, bytes };
    Q_ENUM(SpeedUnit)
    enum class ButtonStyle { singleLine, doubleLine };
    Q_ENUM(ButtonStyle)
    enum class BandwidthData { both, download, upload };
    Q_ENUM(BandwidthData)

    // Reads every setting from store, which must outlive this object.
    explicit Preferences(SettingsStore &store, QObject *parent = nullptr);

    static QString rawValue(Theme theme);
    static QString rawValue(SpeedUnit unit);
    static QString rawValue(ButtonStyle style);
    static QString rawValue(BandwidthData data);
    // The texts under which the settings window offers each case, in the user's language.
    static QString title(Theme theme);
    static QString title(SpeedUnit unit);
    static QString title(ButtonStyle style);
    static QString title(BandwidthData data);

    template<typename Enum> static constexpr std::span<const Enum> allCases();
    // The case whose raw value is exactly raw (case-sensitive), if any.
    template<typename Enum> static std::optional<Enum> fromRawValue(QStringView raw);

    Theme theme() const { return m_theme; }
    SpeedUnit speedUnit() const { return m_speedUnit; }
    bool popoverClosesAutomatically() const { return m_popoverClosesAutomatically; }
    bool showIPChangeToast() const { return m_showIPChangeToast; }
    bool showLiveSpeed() const { return m_showLiveSpeed; }
    ButtonStyle buttonStyle() const { return m_buttonStyle; }
    BandwidthData bandwidthData() const { return m_bandwidthData; }
    bool uploadOnTop() const { return m_uploadOnTop; }
    bool customColors() const { return m_customColors; }
    // Colour codes as stored, not checked; see downloadColor(), uploadColor().
    QString downloadColorHex() const { return m_downloadColorHex; }
    QString uploadColorHex() const { return m_uploadColorHex; }

    // Writes, then applies the theme (both also when unchanged).
    void setTheme(Theme theme);
    void setSpeedUnit(SpeedUnit unit);
    void setPopoverClosesAutomatically(bool closes);
    void setShowIPChangeToast(bool show);
    void setShowLiveSpeed(bool show);
    void setButtonStyle(ButtonStyle style);
    void setBandwidthData(BandwidthData data);
    void setUploadOnTop(bool onTop);
    void setCustomColors(bool custom);
    void setDownloadColorHex(const QString &hex);
    void setUploadColorHex(const QString &hex);

    // The colour of downloadColorHex(), or green when that is not a usable code.
    QColor downloadColor() const;
    // The colour of uploadColorHex(), or blue when that is not a usable code.
    QColor uploadColor() const;
    static QColor fallbackDownloadColor() { return QColor(0x34, 0xC7, 0x59); }
    static QColor fallbackUploadColor() { return QColor(0x0A, 0x84, 0xFF); }

    // A rate in bytes per second as "<number> <unit>", in bits or bytes per second with
    // decimal prefixes up to giga: no decimals below kilo or from 100 up, one otherwise.
    // Zero, negative and not-a-number rates give 0.
    static QString formatRate(double bytesPerSecond, SpeedUnit unit);
    QString formatRate(double bytesPerSecond) const
    {
        return formatRate(bytesPerSecond, m_speedUnit);
    }
    // A speed-test figure in megabits per second, with one decimal and no change of prefix:
    // "<n> Mbps" in bits, "<n/8> MB/s" in bytes.
    QString formatMbps(double megabitsPerSecond) const;

    // Why the last write to the store failed; empty when it succeeded.
    QString lastWriteError() const;

Q_SIGNALS:
    void themeChanged();
    void speedUnitChanged();
    void popoverClosesAutomaticallyChanged();
    void showIPChangeToastChanged();
    void showLiveSpeedChanged();
    void buttonStyleChanged();
    void bandwidthDataChanged();
    void uploadOnTopChanged();
    void customColorsChanged();
    void downloadColorHexChanged();
    void uploadColorHexChanged();
    // An assignment could not be written and was undone (every time, even with the same
    // reason as before).
    void writeFailed();
    void lastWriteErrorChanged();

private:
    template<typename T>
    void assign(T &field, const T &value, const QString &key, void (Preferences::*changed)());

    static constexpr std::array<Theme, 3> s_themes{Theme::system, Theme::light, Theme::dark};
    static constexpr std::array<SpeedUnit, 2> s_speedUnits{SpeedUnit::bits, SpeedUnit::bytes};
    static constexpr std::array<ButtonStyle, 2> s_buttonStyles{ButtonStyle::singleLine,
                                                               ButtonStyle::doubleLine};
    static constexpr std::array<BandwidthData, 3> s_bandwidthData{
        BandwidthData::both, BandwidthData::download, BandwidthData::upload};

    SettingsStore &m_store;

    Theme m_theme = Theme::system;
    SpeedUnit m_speedUnit = SpeedUnit::bits;
    bool m_popoverClosesAutomatically = true;
    bool m_showIPChangeToast = true;
    bool m_showLiveSpeed = true;
    ButtonStyle m_buttonStyle = ButtonStyle::doubleLine;
    BandwidthData m_bandwidthData = BandwidthData::both;
    bool m_uploadOnTop = false;
    bool m_customColors = false;
    QString m_downloadColorHex;
    QString m_uploadColorHex;
};

template<typename Enum> constexpr std::span<const Enum> Preferences::allCases()
{
    if constexpr (std::is_same_v<Enum, Theme>)
        return s_themes;
    else if constexpr (std::is_same_v<Enum, SpeedUnit>)
        return s_speedUnits;
    else if constexpr (std::is_same_v<Enum, ButtonStyle>)
        return s_buttonStyles;
    else if constexpr (std::is_same_v<Enum, BandwidthData>)
        return s_bandwidthData;
    else
        static_assert(std::is_same_v<Enum, Theme>, "not a settings enumeration");
}

template<typename Enum> std::optional<Enum> Preferences::fromRawValue(QStringView raw)
{
    for (const Enum value : allCases<Enum>()) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

} // namespace velmora
