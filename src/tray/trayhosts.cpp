#include "trayhosts.h"

#include <algorithm>
#include <span>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

struct HostRow
{
    QLatin1StringView marker; // a bus name, WM_CLASS name or process name of the host
    TrayRendering rendering;
};

// Who owns the watcher decides what the host draws. Each row says what was seen on that
// desktop, and which call a left click makes (the controller opens the popover from any).
constexpr HostRow watcherHosts[] = {
    // GNOME Shell 43 with the AppIndicator extension: scales every IconPixmap into a square
    // of the top bar's icon size; draws XAyatanaLabel beside the icon in the bar's own font
    // and white text. Left click: Activate(x, y) with the item's screen position.
    {"org.gnome.Shell"_L1, TrayRendering::Label},
    // KDE Plasma 5.27 (kded5 owns the watcher, plasmashell hosts): the system tray draws every
    // item as a square icon and ignores labels. Left click: Activate(x, y).
    {"org.kde.kded5"_L1, TrayRendering::Square},
    {"org.kde.kded6"_L1, TrayRendering::Square},
    {"org.kde.plasmashell"_L1, TrayRendering::Square},
    // Xfce 4.18: the panel's tray plugin is watcher and host; square icons, no labels. Left
    // click: Activate(x, y).
    {"org.xfce.Panel"_L1, TrayRendering::Square},
    // Ayatana's indicator service: its panel applets draw the label text, which this protocol
    // extension was made for.
    {"org.ayatana.indicator.application"_L1, TrayRendering::Label},
};

constexpr HostRow xembedHosts[] = {
    // trayer gives each window the width it asks for (110×22 seen for a 110-wide picture).
    {"trayer"_L1, TrayRendering::Wide},
    // i3bar and polybar size every tray window to a square of the bar's height.
    {"i3bar"_L1, TrayRendering::Square},
    {"polybar"_L1, TrayRendering::Square},
};

TrayRendering lookUp(std::span<const HostRow> rows, const QStringList &names)
{
    const auto row = std::ranges::find_if(rows, [&names](const HostRow &candidate) {
        return std::ranges::any_of(names, [&candidate](const QString &name) {
            return name.compare(candidate.marker, Qt::CaseInsensitive) == 0;
        });
    });
    return row == rows.end() ? TrayRendering::Wide : row->rendering;
}

} // namespace

TrayRendering renderingForWatcher(const QStringList &ownedNames)
{
    return lookUp(watcherHosts, ownedNames);
}

QStringList watcherHostNames()
{
    QStringList names;
    for (const HostRow &row : watcherHosts)
        names.append(row.marker);
    return names;
}

TrayRendering renderingForXEmbedTray(const QStringList &identities)
{
    return lookUp(xembedHosts, identities);
}

} // namespace velmora
