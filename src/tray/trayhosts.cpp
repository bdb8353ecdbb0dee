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
// desktop under Xvfb: how the host fits pictures, whether it draws labels, and what each
// click calls. Every host passes the pointer's screen position with Activate, which places
// the popover. Hosts not listed get the wide picture and the menu.
constexpr WatcherRow watcherHosts[] = {
    // GNOME Shell 43, AppIndicator extension (watcher and host in gnome-shell): a 16×16 icon
    // box on a 32-px top bar; pictures are scaled to 16 px high and cropped to the middle
    // 16 px, so a wide picture loses its sides. XAyatanaLabel is drawn right of the icon in
    // the bar's bold font, #e3e3e3 on black (16:1), digits 10 px high. Left click:
    // Activate(x, y), but with a menu published it opens the menu instead (Activate only on
    // a double click); middle: SecondaryActivate(x, y); right: the menu, else nothing.
    // Registered by path: for an item registered by its well-known name the extension (46)
    // also watches that name, and when the watch's first report comes after the item's
    // properties, as it can while the shell starts, it clears the cached Id and Menu; its next
    // reading of them compares with null, which throws ("Argument two may not be null"), and
    // the extension drops the item for the session.
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
    // Ayatana's indicator service: its panel applets draw XAyatanaLabel, the property was
    // made for them. Not run here.
    {"org.ayatana.indicator.application"_L1, {TrayRendering::Label, false}},
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
};

} // namespace

TrayHost hostForWatcher(const QStringList &identities)
{
    for (const WatcherRow &row : watcherHosts) {
        const QRegularExpression pattern(
            QRegularExpression::wildcardToRegularExpression(row.pattern));
        if (std::ranges::any_of(identities, [&pattern](const QString &identity) {
                return pattern.match(identity).hasMatch();
            }))
            return row.host;
    }
    return {};
}

TrayRendering renderingForXEmbedTray(const QStringList &identities)
{
    const auto row = std::ranges::find_if(xembedHosts, [&identities](const XEmbedRow &candidate) {
        return identities.contains(candidate.name, Qt::CaseInsensitive);
    });
    return row == std::end(xembedHosts) ? TrayRendering::Wide : row->rendering;
}

} // namespace velmora
