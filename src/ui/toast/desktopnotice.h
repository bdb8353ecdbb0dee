#pragma once

#include "geoinfo.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace velmora {

class NotificationsInterface;

// The card's news as the desktop's own notification (org.freedesktop.Notifications on the
// session bus), for sessions where Velmora cannot place the card itself: the card's title as
// the summary, its lines as the body, the new flag as the image. A click on the notification
// (its default action) runs onTap. A new notice replaces the one before, even while the
// service has not yet said which one that is.
class DesktopNotice : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotice(std::function<void()> onTap,
                           const QDBusConnection &bus = QDBusConnection::sessionBus(),
                           QObject *parent = nullptr);
    ~DesktopNotice() override;

    // Asks the notification service to show the notice for onScreen; a failure is reported on
    // standard error.
    void show(const GeoInfo &old, const GeoInfo &now, std::chrono::milliseconds onScreen);
    // Withdraws the notice shown, if any, and the one still on its way.
    void close();

private:
    struct Notice
    {
        QString summary;
        QStringList lines;
        QString flag;
        std::chrono::milliseconds onScreen;
    };
    // Sends the notice waiting, once nothing is asked of the service any more.
    void sendWaiting();
    void askForMarkup();
    void send(const Notice &notice);
    void closeShown();

    std::function<void()> m_onTap;
    NotificationsInterface *m_service;
    uint m_id = 0;
    // Whether the service reads bodies as markup, once it has said.
    std::optional<bool> m_markup;
    std::optional<Notice> m_waiting;
    // One question at a time: a notice sent before the one before it has its id would show
    // beside it, not in its place.
    bool m_asking = false;
    bool m_closeWhenShown = false;
};

} // namespace velmora
