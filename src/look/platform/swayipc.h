#pragma once

#include <QJsonDocument>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>

class QJsonArray;

namespace velmora {

// A client of sway's IPC socket. Each question opens the socket, asks and waits briefly for
// the answer: sway answers at once, and a compositor that hangs must not hang the program.
class SwayIpc
{
public:
    enum class Message : quint32 { RunCommand = 0, GetWorkspaces = 1, GetOutputs = 3 };

    explicit SwayIpc(QString socketPath);

    // sway's answer, or nothing when it cannot be reached or answers nonsense.
    std::optional<QJsonDocument> ask(Message type, const QByteArray &payload = {}) const;

private:
    QString m_socketPath;
};

// The strips bars keep windows out of, in the layout's coordinates: each active output's
// rectangle less its visible workspace's, edge by edge.
QList<QRect> swayBarStrips(const QJsonArray &outputs, const QJsonArray &workspaces);

} // namespace velmora
