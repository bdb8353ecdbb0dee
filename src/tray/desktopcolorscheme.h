#pragma once

#include "panelcolors.h"

#include <QColor>
#include <QObject>

class QFileSystemWatcher;

namespace velmora {
class PortalColorScheme;
}

namespace velmora {

// The colour for text and glyphs drawn into tray pictures on StatusNotifierItem hosts, which
// show pictures as they are and never tell what panel they sit on. Decided, in this order, by
// what the desktop publishes about its panel (panelRuleFor), by the freedesktop colour-scheme
// setting of the settings portal, and by the desktop's own palette as it was before the
// program applied its theme. Never by the program's own theme. Follows changes of each.
class DesktopColorScheme : public QObject
{
    Q_OBJECT

public:
    // Takes the application palette as the desktop's: construct it before the program
    // applies a theme of its own. currentDesktop is XDG_CURRENT_DESKTOP.
    explicit DesktopColorScheme(const QString &currentDesktop, QObject *parent = nullptr);

    QColor panelTextColor() const;
    // Whether any source tells the panel's colour; where none does, panelTextColor() is a
    // guess that reads on light panels only.
    bool knowsPanel() const;
    // What each source says now; Unknown where it says nothing.
    PanelShade desktopShade() const { return m_desktop; }
    PanelShade portalShade() const;

Q_SIGNALS:
    // panelTextColor() or knowsPanel() changed.
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchPlasma();
    void readPlasma();
    void watchXfconf();
    void readXfconf();
    void setDesktop(PanelShade shade);
    void update();

    PanelRule m_rule;
    PanelShade m_desktop = PanelShade::Unknown;
    PortalColorScheme *m_portal;
    QColor m_paletteWindow;
    QColor m_color;
    bool m_known = false;
    quint64 m_xfconfReads = 0;
    QFileSystemWatcher *m_files = nullptr;
};

} // namespace velmora
