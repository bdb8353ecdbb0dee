#pragma once

#include "trayhosts.h"
#include "trayicon.h"

#include <QColor>
#include <QObject>

#include <optional>

namespace velmora {

class AppModel;
class DesktopColorScheme;
class Preferences;
class TrayItem;

// Keeps the tray item's picture, label and tool tip in step with the model, the settings and
// what the tray tells of itself. Every change of a shown value is drawn once, together with
// the other changes of the same event-loop pass.
class TrayPresenter : public QObject
{
    Q_OBJECT

public:
    // Draws the first picture before returning. All four must outlive this.
    TrayPresenter(AppModel &model, Preferences &prefs, TrayItem &tray,
                  DesktopColorScheme &colorScheme, QObject *parent = nullptr);

    // How many redraw passes ran; a pass whose picture would not differ from the last one
    // leaves the tray alone.
    int redrawCount() const { return m_redrawCount; }

private:
    void observe();
    void scheduleRedraw();
    void redraw();

    // What the tray shows, as far as drawing goes: the same again needs no new picture.
    struct Picture
    {
        TrayRendering rendering = TrayRendering::Wide;
        QString title;
        QList<QList<RateEntry>> rows;
        int columnWidth = 0;
        bool customColors = false;
        QColor textColor;
        // The panel's colour is unknown: square rates stand on a badge of their own.
        bool onBadge = false;
        // The slot the tray gives, where it tells.
        QSize slot;

        friend bool operator==(const Picture &, const Picture &) = default;
    };
    QList<QImage> render(const Picture &picture, const std::optional<SpeedImageLayout> &speed);

    AppModel &m_model;
    Preferences &m_prefs;
    TrayItem &m_tray;
    DesktopColorScheme &m_colorScheme;
    TrayIconRenderer m_renderer;
    std::optional<Picture> m_picture;
    // Whether the last drawing showed the rates, so that rate changes matter.
    bool m_ratesShown = false;
    bool m_redrawPending = false;
    int m_redrawCount = 0;
};

} // namespace velmora
