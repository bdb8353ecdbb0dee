#include "trayhosts.h"

#include <QRegularExpression>

#include <algorithm>
#include <span>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

struct WatcherRow
{
    // A bus name the watcher's connection owns or its process name; "*" matches anything.
    QLatin1StringView pattern;
    TrayHost host;
};

// Who owns the watcher tells which host draws the item. Each row says what was seen on that
// desktop under Xvfb (waybar under a headless sway): how the host fits pictures, whether it
// draws labels, and what each click calls. Every host but waybar passes the pointer's screen
// position with Activate, which places the popover. Hosts not listed get the square picture
// and the menu.
constexpr WatcherRow watcherHosts[] = {
    // GNOME Shell 43, AppIndicator extension (watcher and host in gnome-shell): a 16×16 icon
    // box on a 32-px top bar; pictures are scaled to 16 px high and cropped to the middle
    // 16 px, so a wide picture loses its sides. XAyatanaLabel is drawn right of the icon in
    // the bar's bold font, #e3e3e3 on black (16:1), digits 10 px high. Left click:
    // Activate(x, y), but with menu entries published it opens the menu instead (Activate only on
    // a double click); middle: SecondaryActivate(x, y); right: the menu, else nothing.
    // Registered by path: for an item registered by its well-known name the extension (46)
    // also watches that name, and when the watch's first report comes after the item's
    // properties, as it can while the shell starts, it clears the cached Id and Menu; its next
    // reading of them compares with null, which throws ("Argument two may not be null"), and
    // the extension drops the item for the session. An item whose Menu is "/NO_DBUSMENU" never
    // counts as ready there: its picture is fetched only when it announces a new one, so after
    // the shell starts or restarts a quiet item stays a placeholder. Hence an empty menu.
    {"org.gnome.Shell"_L1, {TrayRendering::Label, true, true}},
    // KDE Plasma 5.27 (kded5 owns the watcher, plasmashell hosts): 22×22 icons on a 44-px
    // panel; pictures are fitted keeping their aspect (90×22 shows as 22×5); labels are not
    // drawn. Left: Activate(x, y); middle: SecondaryActivate(x, y); right: the menu.
    {"org.kde.kded5"_L1, {TrayRendering::Square, false}},
    {"org.kde.kded6"_L1, {TrayRendering::Square, false}},
    {"org.kde.plasmashell"_L1, {TrayRendering::Square, false}},
    // Xfce 4.18: the panel's tray plugin is watcher and host, in a process of its own
    // ("panel-N-systray", which owns no other bus name) or inside the panel: at most 22×22,
    // fitted keeping aspect, the 22-px entry picked from a set; labels are not drawn. Left:
    // Activate(x, y); middle: SecondaryActivate(x, y); right: the menu.
    {"panel-*-systray"_L1, {TrayRendering::Square, false}},
    {"org.xfce.Panel"_L1, {TrayRendering::Square, false}},
    // LXQt 1.2: the panel's Status Notifier plugin is watcher and host; its connection owns
    // only the watcher's name and the "org.kde.StatusNotifierHost-PID-1" any host takes, so the
    // process name tells. 22×22 icons in 27×32 buttons on a 32-px panel: the 22-px entry of a
    // set, else the next larger scaled down; wide pictures fitted keeping aspect (88×22 shows
    // as 22×5); labels are not drawn. Left: Activate(x, y), with a menu published or not;
    // middle: SecondaryActivate(x, y); right: the menu, else nothing.
    {"lxqt-panel"_L1, {TrayRendering::Square, false}},
    // waybar 0.9.17 on sway 1.7 (watcher and host in the waybar process, which also owns
    // fr.arouillard.waybar): its tray's icon size is 16 unless configured; the largest picture
    // by area is scaled to 16 px high keeping its aspect (90×22 shows as 65×16, so the rates'
    // digits are about 5 px high), in the tray's own box (#2980b9 on a #34373c bar in waybar's
    // own style); labels are not drawn. Left: Activate(x, y); middle: SecondaryActivate(x, y),
    // both with the click's position within the item, not on the screen; right: the menu (an
    // empty one when none is published), never ContextMenu. A square drawn at 16 px keeps its
    // rows and arrows crisp; shrunk from a larger one, or the wide picture's rows, they blur.
    {"fr.arouillard.waybar"_L1, {TrayRendering::Square, false, false, 16, false}},
    {"waybar"_L1, {TrayRendering::Square, false, false, 16, false}},
    // Ayatana's indicator service: its panel applets draw XAyatanaLabel, the property was
    // made for them. Not run here.
    {"org.ayatana.indicator.application"_L1, {TrayRendering::Label, false}},
    // gtk-sni-tray (its process name cut to 15 characters by the kernel), beside a watcher of
    // its own: draws the picture at its own width, 22 px high (a 110×22 picture shows whole).
    // Left: Activate(x, y); right: the menu.
    {"gtk-sni-tray-st*"_L1, {TrayRendering::Wide, false}},
};

struct XEmbedRow
{
    QLatin1StringView name; // WM_CLASS name or process name of the tray
    TrayRendering rendering;
};

constexpr XEmbedRow xembedHosts[] = {
    // trayer: gives each window the width it asks for (90×22 seen for a 90-wide picture).
    {"trayer"_L1, TrayRendering::Wide},
    // i3bar 4.22: every tray window is resized to a square 4 px less than the bar (15×15 on
    // a 19-px bar): a wide picture shows its left end only. Its selection window has no
    // name; the bar window of the same client is "i3bar".
    {"i3bar"_L1, TrayRendering::Square},
    // polybar 3.6: every tray window is resized to 16×16 (on a 24-px bar).
    {"polybar"_L1, TrayRendering::Square},
    // IceWM 3.3: every tray window is scaled to 24 px high at the aspect of its size when it
    // docks or resizes, at most 32 wide; size hints are not read (22×22 gets 24×24; 90×22, or
    // a window still at Qt's unshown 640×480, 32×24; on a 26-px task bar). The selection's
    // owner is an unnamed window; the window manager's own, of the same client, is "icewm".
    {"icewm"_L1, TrayRendering::Square},
};

} // namespace

std::optional<TrayHost> hostForWatcher(const QStringList &identities)
{
    for (const WatcherRow &row : watcherHosts) {
        const QRegularExpression pattern(
            QRegularExpression::wildcardToRegularExpression(row.pattern));
        if (std::ranges::any_of(identities, [&pattern](const QString &identity) {
                return pattern.match(identity).hasMatch();
            }))
            return row.host;
    }
    return std::nullopt;
}

std::optional<TrayRendering> renderingForXEmbedTray(const QStringList &identities)
{
    const auto row = std::ranges::find_if(xembedHosts, [&identities](const XEmbedRow &candidate) {
        return identities.contains(candidate.name, Qt::CaseInsensitive);
    });
    if (row == std::end(xembedHosts))
        return std::nullopt;
    return row->rendering;
}

} // namespace velmora
