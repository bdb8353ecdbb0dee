#include "wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// Between the file's name and six random letters: a name no one else gives their files, so
// that clearing away what a crash left never takes a file of the user's.
constexpr QLatin1StringView saveInfix(".velmora-save-");

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file a save replaces: symbolic links followed to their end, so that a file kept
// elsewhere and linked in stays linked.
QString finalTarget(const QString &path)
{
    QFileInfo file(path);
    for (int hops = 0; hops < 40 && file.isSymLink(); ++hops)
        file.setFile(file.symLinkTarget());
    return file.filePath();
}

} // namespace

std::expected<void, QString> saveWholeFile(const QString &path, const QByteArray &bytes)
{
    const QString target = finalTarget(path);
    const QByteArray targetName = QFile::encodeName(target);
    struct stat status = {};
    if (::stat(targetName.constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return std::unexpected(QStringLiteral("not a regular file"));

    // Made for the user alone (0600), and removed again on every way out but the rename.
    QTemporaryFile file(target + saveInfix + QStringLiteral("XXXXXX"));
    if (!file.open())
        return std::unexpected(file.errorString());
    // Unbuffered, each count checked: a full disk must fail the save, not shorten the file.
    const int fd = int(file.handle());
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return std::unexpected(systemReason(wrote < 0 ? errno : ENOSPC));
        done += wrote;
    }
    // On the disk before the rename, so that a crash leaves the old file or the new one whole.
    if (::fsync(fd) != 0)
        return std::unexpected(systemReason(errno));
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(), targetName.constData()) != 0)
        return std::unexpected(systemReason(errno));
    file.setAutoRemove(false);
    return {};
}

void removeUnfinishedSaves(const QString &path)
{
    const QFileInfo file(finalTarget(path));
    const QString stem = file.fileName() + saveInfix;
    // Matched by hand, without name filters or a regular expression: compiling those cost more
    // than the rest of loading the file.
    const auto isAlphanumeric = [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    };
    QDir folder = file.dir();
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted)) {
        if (name.size() == stem.size() + 6 && name.startsWith(stem) &&
            std::all_of(name.cbegin() + stem.size(), name.cend(), isAlphanumeric))
            folder.remove(name);
    }
}

std::expected<void, QString> makePrivateFolder(const QString &path)
{
    const QString folder = QDir::cleanPath(path);
    const QString cannotCreate = QStringLiteral("cannot create the folder %1");
    const QString parent = QFileInfo(folder).absolutePath();
    if (!QDir().mkpath(parent))
        return std::unexpected(cannotCreate.arg(parent));
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) == 0)
        return {};
    struct stat status = {};
    if (errno != EEXIST || ::stat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::unexpected(cannotCreate.arg(folder));
    // Made open to others by an earlier version or by hand: closed, the user's own bits kept.
    if ((status.st_mode & 077) != 0 && ::chmod(name.constData(), status.st_mode & 0700) != 0)
        return std::unexpected(QStringLiteral("cannot close the folder %1 to others (%2)")
                                   .arg(folder, systemReason(errno)));
    return {};
}

std::optional<QString> keepAside(const QString &path)
{
    const QString stem =
        path + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString aside =
            attempt == 1 ? stem : stem + QLatin1Char('-') + QString::number(attempt);
        if (QFileInfo::exists(aside))
            continue;
        if (QFile::rename(path, aside))
            return aside;
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace velmora
