#pragma once

#include "trayhosts.h"
#include "trayimage/trayicon.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <chrono>

#include <memory>
#include <optional>

namespace velmora {

class AppModel;
class DesktopColorScheme;
class DesktopNotice;
class PopoverWindow;
class Preferences;
class SettingsView;
class ToastWindow;
class TrayItem;
class WindowSystemHints;
struct GeoInfo;

// Owns what the program shows: keeps the tray item in step with the model and the settings,
// opens the popover from it and the settings window from the popover. Every change of a
// shown value is drawn once, together with the other changes of the same event-loop pass.
class StatusBarController : public QObject
{
    Q_OBJECT

public:
    // Draws the first picture before returning. model, prefs and tray must outlive this.
    StatusBarController(AppModel &model, Preferences &prefs, TrayItem &tray,
                        QObject *parent = nullptr);
    ~StatusBarController() override;

    // Opens the popover against the item's last known place (the pointer when none is
    // known); never closes it.
    void showPopover();
    void togglePopover();
    // Closes the popover and brings up the one settings window, made on first use.
    void showSettings();

    // How the card that tells of a new public address comes and goes; tests shorten them.
    struct ToastTimings
    {
        std::chrono::milliseconds fadeIn{200};
        std::chrono::milliseconds onScreen{5'000};
        std::chrono::milliseconds fadeOut{250};
    };
    void setToastTimings(const ToastTimings &timings) { m_toastTimings = timings; }
    // The card on screen, if any; not one fading out.
    ToastWindow *toast() const { return m_toast.get(); }

    // How many redraw passes ran; a pass whose picture would not differ from the last one
    // leaves the tray alone.
    int redrawCount() const { return m_redrawCount; }
    // The popover window, made on first use.
    PopoverWindow *popover();
    SettingsView *settingsWindow() const { return m_settingsWindow.get(); }

private:
    void observe();
    void scheduleRedraw();
    void updateStatusItem();
    void showPopoverAt(const QRect &anchor);
    bool isPopoverShown() const;
    void showIPChangeToast(const GeoInfo &old, const GeoInfo &now);
    void dismissToast();

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
    std::unique_ptr<PopoverWindow> m_popover;
    std::unique_ptr<SettingsView> m_settingsWindow;
    std::unique_ptr<DesktopColorScheme> m_colorScheme;
    std::unique_ptr<WindowSystemHints> m_windowSystem;
    std::unique_ptr<ToastWindow> m_toast;
    // Where Velmora cannot place the card: the desktop's notification, made on first use.
    std::unique_ptr<DesktopNotice> m_notice;
    // The last card dismissed, while it fades and after, until the next one comes.
    std::unique_ptr<ToastWindow> m_fadedToast;
    QTimer m_toastDismiss;
    ToastTimings m_toastTimings;
    TrayIconRenderer m_renderer;
    QRect m_anchor;
    std::optional<Picture> m_picture;
    // Whether the last drawing showed the rates, so that rate changes matter.
    bool m_ratesShown = false;
    bool m_redrawPending = false;
    int m_redrawCount = 0;
};

} // namespace velmora
