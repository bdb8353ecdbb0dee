#pragma once

#include "widgetlayout.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <expected>
#include <optional>

namespace velmora {

// One widget placed on the desktop: its size, and where it stands on which screen.
struct WidgetPlacement
{
    WidgetFamily family = WidgetFamily::small;
    QString screen{}; // the screen's name
    QPoint position{};

    friend bool operator==(const WidgetPlacement &, const WidgetPlacement &) = default;
};

// Where a widget of size goes: at wanted on the screen it was placed on while that screen
// exists (savedScreenArea, its work area), else on the primary screen; moved just as far as it
// takes to lie wholly inside that work area.
QPoint restoredPosition(QPoint wanted, QSize size, const std::optional<QRect> &savedScreenArea,
                        const QRect &primaryArea);

// At most this many are placed: each is a window of its own.
constexpr int maxWidgets = 32;

// The placed widgets as JSON bytes, and back; none when the bytes are not a list of widgets
// (elements that are not widgets are skipped). Only the first maxWidgets are read; problem then
// says so.
QByteArray placementsJson(const QList<WidgetPlacement> &placements);
std::optional<QList<WidgetPlacement>> placementsFromJson(const QByteArray &json,
                                                         QString *problem = nullptr);

// The placed widgets, kept as JSON in a file of the widget's own configuration directory.
class PlacementStore
{
public:
    explicit PlacementStore(QString path);

    // Missing: none placed. Unreadable: none placed, and the file is moved aside to
    // "<name>.corrupt-<UTC time>" with a warning, so that the next save does not destroy it;
    // more than maxWidgets: the first ones placed, and the file moved aside alike.
    // Anything but a regular file (a FIFO, a device, a folder): none placed, with a warning,
    // and left where it is.
    QList<WidgetPlacement> load() const;
    // The error says why the list could not be saved.
    std::expected<void, QString> save(const QList<WidgetPlacement> &placements) const;

    // ~/.config/velmora-widget/widgets.json (the user's configuration directory).
    static QString defaultPath();

private:
    QString m_path;
};

} // namespace velmora
