#pragma once

#include <QObject>
#include <QRect>
#include <QTimer>

#include <chrono>
#include <memory>

namespace velmora {

class DesktopNotice;
class Preferences;
class ToastWindow;
class TrayItem;
class WindowSystemHints;
struct GeoInfo;

// The card that tells of a new public address: beside the tray item where Velmora places its
// own windows, else as the desktop's notification. One at a time; a new one replaces it.
class CardPresenter : public QObject
{
    Q_OBJECT

public:
    // prefs and tray must outlive this.
    CardPresenter(Preferences &prefs, TrayItem &tray, QObject *parent = nullptr);
    ~CardPresenter() override;

    // How the card comes and goes; tests shorten them.
    struct Timings
    {
        std::chrono::milliseconds fadeIn{200};
        std::chrono::milliseconds onScreen{5'000};
        std::chrono::milliseconds fadeOut{250};
    };
    void setTimings(const Timings &timings) { m_timings = timings; }

    // Shows the change, unless the settings say not to or no item shows where it is from;
    // itemAnchor is the best place known for the item when the tray does not give its own.
    void show(const GeoInfo &old, const GeoInfo &now, const QRect &itemAnchor);
    // Fades the card out, and closes the notification.
    void dismiss();
    // The card on screen, if any; not one fading out.
    ToastWindow *card() const { return m_card.get(); }

Q_SIGNALS:
    // The user asked for the popover from the card.
    void openRequested();

private:
    Preferences &m_prefs;
    TrayItem &m_tray;
    std::unique_ptr<WindowSystemHints> m_windowSystem;
    std::unique_ptr<ToastWindow> m_card;
    // Where Velmora cannot place the card: the desktop's notification, made on first use.
    std::unique_ptr<DesktopNotice> m_notice;
    // The last card dismissed, while it fades and after, until the next one comes.
    std::unique_ptr<ToastWindow> m_faded;
    QTimer m_dismissTimer;
    Timings m_timings;
};

} // namespace velmora
