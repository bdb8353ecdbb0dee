#include "platform/windowsystemhints_sway.h"

#include "platform/swayipc.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace velmora {

namespace {

// How long a window may take to be mapped and taken in by sway before it can be moved: sway
// maps it only once its first frame is drawn, later in a slow (sanitizer) build or on a busy
// machine.
constexpr int moveTries = 100;
constexpr int moveRetryMs = 100;
// How long after showing a window sway may still centre it, and is overruled.
constexpr int keepForMs = moveTries * moveRetryMs;

class SwayHints final : public WindowSystemHints
{
public:
    SwayHints(std::unique_ptr<WindowSystemHints> x11, const QString &socketPath)
        : m_x11(std::move(x11))
        , m_ipc(socketPath)
    {}

    bool isCompositing() const override { return m_x11->isCompositing(); }
    void keepOnAllWorkspacesUnlisted(QWindow *window) const override
    {
        m_x11->keepOnAllWorkspacesUnlisted(window);
    }
    void markAsNotification(QWindow *window) const override { m_x11->markAsNotification(window); }
    bool placesOwnWindows() const override { return true; }
    // XWayland learns where the pointer is only while it is over an X11 window.
    std::optional<QPoint> pointer() const override { return std::nullopt; }

    QList<QRect> reservedStrips() const override
    {
        const auto outputs = m_ipc.ask(SwayIpc::Message::GetOutputs);
        const auto workspaces = m_ipc.ask(SwayIpc::Message::GetWorkspaces);
        if (!outputs || !workspaces)
            return m_x11->reservedStrips();
        QList<QRect> strips = swayBarStrips(outputs->array(), workspaces->array());
        for (QRect &strip : strips)
            strip = toLogical(strip);
        return strips;
    }

    void keepPosition(QWindow *window) const override
    {
        const QPoint wanted = window->position();
        move(window, toNative(wanted), moveTries);
        // A move sway accepts just before it takes the window in is undone when sway centres
        // the window: while the window is new, a move away from its place is moved back.
        auto *watch = new QObject(window);
        QTimer::singleShot(keepForMs, watch, [watch] { delete watch; });
        const auto moveBack = [this, window, wanted] {
            if (window->isVisible() && window->position() != wanted)
                move(window, toNative(wanted), 1);
        };
        QObject::connect(window, &QWindow::xChanged, watch, moveBack);
        QObject::connect(window, &QWindow::yChanged, watch, moveBack);
    }

private:
    // at is taken before sway centres the window, which moves the QWindow too.
    void move(QWindow *window, QPoint at, int triesLeft) const
    {
        const QByteArray command = QStringLiteral("[id=%1] move absolute position %2 px %3 px")
                                       .arg(window->winId())
                                       .arg(at.x())
                                       .arg(at.y())
                                       .toUtf8();
        const auto answer = m_ipc.ask(SwayIpc::Message::RunCommand, command);
        const bool moved = answer && answer->array().first().toObject()[u"success"].toBool();
        // Until sway has mapped the window it knows no such window.
        if (moved || !answer || triesLeft <= 1)
            return;
        QTimer::singleShot(moveRetryMs, window,
                           [this, window = QPointer<QWindow>(window), at, triesLeft] {
                               if (window && window->isVisible())
                                   move(window, at, triesLeft - 1);
                           });
    }

    // sway's layout is XWayland's root window; Qt keeps each screen's origin and scales its
    // extent by the pixel ratio.
    static QPoint toNative(const QPoint &logical)
    {
        const QScreen *screen = QGuiApplication::screenAt(logical);
        if (!screen)
            return logical;
        const QPoint origin = screen->geometry().topLeft();
        return origin + ((logical - origin) * screen->devicePixelRatio());
    }

    static QRect toLogical(const QRect &native)
    {
        for (const QScreen *screen : QGuiApplication::screens()) {
            const QPoint origin = screen->geometry().topLeft();
            const qreal ratio = screen->devicePixelRatio();
            if (QRect(origin, (QSizeF(screen->geometry().size()) * ratio).toSize())
                    .contains(native.center()))
                return QRect(origin + (native.topLeft() - origin) / ratio,
                             (QSizeF(native.size()) / ratio).toSize());
        }
        return native;
    }

    std::unique_ptr<WindowSystemHints> m_x11;
    SwayIpc m_ipc;
};

} // namespace

std::unique_ptr<WindowSystemHints> swayHints(std::unique_ptr<WindowSystemHints> x11,
                                             const QString &socketPath)
{
    return std::make_unique<SwayHints>(std::move(x11), socketPath);
}

} // namespace velmora
