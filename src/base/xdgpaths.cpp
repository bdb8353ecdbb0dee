#include "xdgpaths.h"

#include <QDir>

namespace velmora {

namespace {

QString baseFolder(const char *variable, const QString &underHome)
{
    const QString path = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(path) ? path : QDir::homePath() + underHome;
}

} // namespace

QString xdgConfigHome()
{
    return baseFolder("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

QString xdgStateHome()
{
    return baseFolder("XDG_STATE_HOME", QStringLiteral("/.local/state"));
}

} // namespace velmora
