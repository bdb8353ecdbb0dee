#include "smallfile.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

UnreadFile failure(int error)
{
    return {.missing = error == ENOENT, .reason = QString::fromLocal8Bit(std::strerror(error))};
}

} // namespace

std::expected<QByteArray, UnreadFile> readSmallFile(const QString &path, qint64 maxBytes)
{
    // Not blocking, so that opening a FIFO returns at once; what was opened is then checked,
    // not the name, which could have changed in between.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::unexpected(failure(errno));
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return std::unexpected(failure(errno));
    if (!S_ISREG(status.st_mode))
        return std::unexpected(UnreadFile{.reason = QStringLiteral("not a regular file")});
    const UnreadFile tooLarge{.reason = QStringLiteral("larger than %1 bytes").arg(maxBytes)};
    if (status.st_size > maxBytes)
        return std::unexpected(tooLarge);
    // In small pieces, up to the bound: a size of 0 need not mean empty (files in /proc), and
    // setting aside the whole bound at every refresh would cost more than the read.
    QByteArray content;
    char piece[4096];
    for (;;) {
        const ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::unexpected(failure(errno));
        if (got == 0)
            return content;
        content.append(piece, got);
        if (content.size() > maxBytes)
            return std::unexpected(tooLarge);
    }
}

} // namespace velmora
