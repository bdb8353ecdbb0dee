#include "placements.h"

#include "smallfile.h"
#include "wholefile.h"
#include "xdgpaths.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace velmora {

namespace {

QString familyName(WidgetFamily family)
{
    return family == WidgetFamily::medium ? QStringLiteral("medium") : QStringLiteral("small");
}

} // namespace

QPoint restoredPosition(QPoint wanted, QSize size, const std::optional<QRect> &savedScreenArea,
                        const QRect &primaryArea)
{
    const QRect area = savedScreenArea.value_or(primaryArea);
    // A widget larger than the area keeps its top left corner inside.
    const int x = std::max(area.left(), std::min(wanted.x(), area.right() + 1 - size.width()));
    const int y = std::max(area.top(), std::min(wanted.y(), area.bottom() + 1 - size.height()));
    return {x, y};
}

QByteArray placementsJson(const QList<WidgetPlacement> &placements)
{
    QJsonArray array;
    for (const WidgetPlacement &placement : placements)
        array.append(QJsonObject{{QStringLiteral("family"), familyName(placement.family)},
                                 {QStringLiteral("screen"), placement.screen},
                                 {QStringLiteral("x"), placement.position.x()},
                                 {QStringLiteral("y"), placement.position.y()}});
    return QJsonDocument(array).toJson();
}

std::optional<QList<WidgetPlacement>> placementsFromJson(const QByteArray &json, QString *problem)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isArray()) {
        if (problem)
            *problem = error.error ? error.errorString() : QStringLiteral("not a list of widgets");
        return std::nullopt;
    }
    QList<WidgetPlacement> placements;
    for (const QJsonValue &value : document.array()) {
        if (!value.isObject())
            continue; // not a widget: nothing to place
        if (placements.size() == maxWidgets) {
            if (problem)
                *problem = QStringLiteral("more than %1 widgets; only the first %1 are placed")
                               .arg(maxWidgets);
            break;
        }
        const QJsonObject object = value.toObject();
        placements.append(
            {object[QStringLiteral("family")].toString() == QStringLiteral("medium")
                 ? WidgetFamily::medium
                 : WidgetFamily::small,
             object[QStringLiteral("screen")].toString(),
             QPoint(object[QStringLiteral("x")].toInt(), object[QStringLiteral("y")].toInt())});
    }
    return placements;
}

PlacementStore::PlacementStore(QString path)
    : m_path(std::move(path))
{}

QList<WidgetPlacement> PlacementStore::load() const
{
    removeUnfinishedSaves(m_path);
    const std::expected<QByteArray, UnreadFile> bytes = readSmallFile(m_path);
    if (!bytes && bytes.error().missing)
        return {};
    if (!bytes && !QFileInfo(m_path).isFile()) {
        // A FIFO, a device or a folder holds no list of the user's to keep: left where it is.
        qWarning("velmora-widget: %s cannot be read (%s); no widgets placed", qPrintable(m_path),
                 qPrintable(bytes.error().reason));
        return {};
    }
    QString problem = bytes ? QString() : bytes.error().reason;
    std::optional<QList<WidgetPlacement>> placements =
        bytes ? placementsFromJson(*bytes, &problem) : std::nullopt;
    if (problem.isEmpty())
        return *std::move(placements);
    // Moved aside rather than overwritten by the next save: the user may want it back.
    const std::optional<QString> aside = keepAside(m_path);
    const QString kept = aside ? QStringLiteral("; kept as ") + *aside : QString();
    if (placements)
        qWarning("velmora-widget: %s lists %s%s", qPrintable(m_path), qPrintable(problem),
                 qPrintable(kept));
    else
        qWarning("velmora-widget: %s cannot be read (%s)%s", qPrintable(m_path),
                 qPrintable(problem), qPrintable(kept));
    return placements.value_or(QList<WidgetPlacement>());
}

std::expected<void, QString> PlacementStore::save(const QList<WidgetPlacement> &placements) const
{
    if (auto folder = makePrivateFolder(QFileInfo(m_path).absolutePath()); !folder)
        return folder;
    return saveWholeFile(m_path, placementsJson(placements));
}

QString PlacementStore::defaultPath()
{
    return xdgConfigHome() + QStringLiteral("/velmora-widget/widgets.json");
}

} // namespace velmora
