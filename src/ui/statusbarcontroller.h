#pragma once

#include "toast/cardpresenter.h"

#include <QObject>
#include <QRect>

#include <memory>

namespace velmora {

class AppModel;
class DesktopColorScheme;
class PopoverWindow;
class Preferences;
class SettingsView;
class ToastWindow;
class TrayItem;
class TrayPresenter;

// Owns the status item and the windows opened from it: routes the item's clicks and menu to
// the popover, the settings window and quitting, keeps where the item was last seen, and
// leaves the item's picture to its presenter and the new-address card to the card's.
class StatusBarController : public QObject
{
    Q_OBJECT

public:
    // Draws the first picture before returning. model, prefs and tray must outlive this. Make it
    // before the program's theme changes the application's palette: the desktop's own tells
    // the panel's colours.
    StatusBarController(AppModel &model, Preferences &prefs, TrayItem &tray,
                        QObject *parent = nullptr);
    ~StatusBarController() override;

    // Opens the popover against the item's last known place (the pointer when none is
    // known); never closes it.
    void showPopover();
    void togglePopover();
    // Closes the popover and brings up the one settings window, made on first use.
    void showSettings();

    void setToastTimings(const CardPresenter::Timings &timings) { m_card->setTimings(timings); }
    // The card on screen, if any; not one fading out.
    ToastWindow *toast() const { return m_card->card(); }
    int redrawCount() const;
    // The popover window, made on first use.
    PopoverWindow *popover();
    SettingsView *settingsWindow() const { return m_settingsWindow.get(); }
    bool isPopoverShown() const;

Q_SIGNALS:
    void popoverShownChanged();

private:
    void routeItemRequests();
    void showPopoverAt(const QRect &anchor);

    AppModel &m_model;
    Preferences &m_prefs;
    TrayItem &m_tray;
    std::unique_ptr<DesktopColorScheme> m_colorScheme;
    std::unique_ptr<TrayPresenter> m_trayPresenter;
    std::unique_ptr<CardPresenter> m_card;
    std::unique_ptr<PopoverWindow> m_popover;
    std::unique_ptr<SettingsView> m_settingsWindow;
    QRect m_anchor;
};

} // namespace velmora
