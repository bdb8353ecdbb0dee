#include "platform/swayipc.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>

#include <cstring>

namespace velmora {

namespace {

constexpr QByteArrayView magic = "i3-ipc";
constexpr int headerSize = 14; // the magic, then length and type in the host's byte order
constexpr int waitMs = 250;
constexpr quint32 largestAnswer = 16 * 1024 * 1024;

QRect rectOf(const QJsonValue &value)
{
    const QJsonObject rect = value.toObject();
    return QRect(rect[u"x"].toInt(), rect[u"y"].toInt(), rect[u"width"].toInt(),
                 rect[u"height"].toInt());
}

bool readExactly(QLocalSocket &socket, char *into, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(waitMs))
            return false;
        const qint64 read = socket.read(into + done, size - done);
        if (read < 0)
            return false;
        done += read;
    }
    return true;
}

} // namespace

SwayIpc::SwayIpc(QString socketPath)
    : m_socketPath(std::move(socketPath))
{}

std::optional<QJsonDocument> SwayIpc::ask(Message type, const QByteArray &payload) const
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(waitMs))
        return std::nullopt;
    QByteArray request = magic.toByteArray();
    const quint32 fields[] = {quint32(payload.size()), quint32(type)};
    request.append(reinterpret_cast<const char *>(fields), sizeof fields);
    request.append(payload);
    socket.write(request);
    if (!socket.waitForBytesWritten(waitMs))
        return std::nullopt;

    char header[headerSize];
    if (!readExactly(socket, header, headerSize) || QByteArrayView(header, 6) != magic)
        return std::nullopt;
    quint32 length = 0;
    std::memcpy(&length, header + 6, sizeof length);
    if (length > largestAnswer)
        return std::nullopt;
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    if (!readExactly(socket, body.data(), length))
        return std::nullopt;
    QJsonParseError error;
    QJsonDocument answer = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return answer;
}

QList<QRect> swayBarStrips(const QJsonArray &outputs, const QJsonArray &workspaces)
{
    QList<QRect> strips;
    for (const QJsonValue &output : outputs) {
        const QJsonObject fields = output.toObject();
        const QRect all = rectOf(fields[u"rect"]);
        const QString name = fields[u"name"].toString();
        if (!fields[u"active"].toBool() || all.isEmpty())
            continue;
        for (const QJsonValue &workspace : workspaces) {
            const QJsonObject shown = workspace.toObject();
            if (shown[u"output"].toString() != name || !shown[u"visible"].toBool())
                continue;
            const QRect free = rectOf(shown[u"rect"]) & all;
            if (free.isEmpty())
                break;
            if (free.top() > all.top())
                strips << QRect(all.left(), all.top(), all.width(), free.top() - all.top());
            if (free.bottom() < all.bottom())
                strips << QRect(all.left(), free.bottom() + 1, all.width(),
                                all.bottom() - free.bottom());
            if (free.left() > all.left())
                strips << QRect(all.left(), all.top(), free.left() - all.left(), all.height());
            if (free.right() < all.right())
                strips << QRect(free.right() + 1, all.top(), all.right() - free.right(),
                                all.height());
            break;
        }
    }
    return strips;
}

} // namespace velmora
