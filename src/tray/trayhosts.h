#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// How the item shows its rates on a kind of tray host.
enum class TrayRendering {
    // One picture: title glyph and rates side by side, as wide as they need. For hosts that
    // show a picture at its own aspect ratio.
    Wide,
    // A picture made for the host's square slot: the rates as two compact rows. For hosts that
    // scale every picture into a square icon.
    Square,
    // The title glyph as a square icon and the rates as the item's text label, drawn by the
    // host in the panel's own font and colour.
    Label,
};

// What the item must know of a StatusNotifierItem host.
struct TrayHost
{
    // Square where nothing is known: most hosts fit pictures into a square slot, and a wide
    // picture shrunk into one is a smear.
    TrayRendering rendering = TrayRendering::Square;
    // Whether the host opens the item's menu on a left click when the menu has entries,
    // instead of calling Activate: the item's menu is then empty, so the click opens the
    // popover.
    bool leftClickOpensMenu = false;
    // Whether the item registers with the watcher by its object path and holds no well-known
    // name, so that the host knows it by its unique bus name alone.
    bool registersByPath = false;
    // The size the host draws every picture at, where it is fixed and the host shrinks the
    // largest picture it is given rather than pick the one that fits; 0 elsewhere.
    int iconSize = 0;
    // Whether the position Activate and ContextMenu pass is the click's on the screen; a host
    // that passes it within the item says nothing of where the item is.
    bool reportsClickPoint = true;

    friend bool operator==(const TrayHost &, const TrayHost &) = default;
};

// The host behind a StatusNotifierWatcher, known by the well-known bus names the watcher's
// connection owns and by the process names of the watcher and the hosts; nothing for a host
// the table does not know.
std::optional<TrayHost> hostForWatcher(const QStringList &identities);

// The rendering for an XEmbed system tray, identified by the WM_CLASS names of its manager
// window and by its process name; nothing for a tray the table does not know, whose slot
// then decides.
std::optional<TrayRendering> renderingForXEmbedTray(const QStringList &identities);

} // namespace velmora
