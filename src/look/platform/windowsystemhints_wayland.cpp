#include "platform/windowsystemhints.h"

namespace velmora {

namespace {

class WaylandHints final : public WindowSystemHints
{
public:
    // Every Wayland compositor composites: surfaces with alpha show what lies behind them.
    bool isCompositing() const override { return true; }
    QList<QRect> reservedStrips() const override { return {}; }
    void keepOnAllWorkspacesUnlisted(QWindow *) const override {}
    void markAsNotification(QWindow *) const override {}
    bool placesOwnWindows() const override { return false; }
};

} // namespace

std::unique_ptr<WindowSystemHints> WindowSystemHints::forWayland()
{
    return std::make_unique<WaylandHints>();
}

} // namespace velmora
