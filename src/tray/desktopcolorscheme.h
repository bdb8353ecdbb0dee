#pragma once

#include <QColor>
#include <QObject>

namespace velmora {

// The colour for text and glyphs drawn into tray pictures. Linux trays show pictures as they
// are, so the picture must already contrast with the panel: light text when the desktop
// prefers dark (the freedesktop appearance setting, read through the settings portal on the
// session bus), dark text when it prefers light, else the application palette's text colour.
// Follows changes of the setting and of the palette.
class DesktopColorScheme : public QObject
{
    Q_OBJECT

public:
    enum class Preference { None = 0, Dark = 1, Light = 2 };
    Q_ENUM(Preference)

    explicit DesktopColorScheme(QObject *parent = nullptr);

    QColor panelTextColor() const;
    // The desktop's preference as the portal last told it; None without a portal.
    Preference preference() const;

Q_SIGNALS:
    // panelTextColor() changed.
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void read();
    void setPreference(Preference preference);
    void update();

    Preference m_preference = Preference::None;
    QColor m_color;
    quint64 m_reads = 0;
};

} // namespace velmora
