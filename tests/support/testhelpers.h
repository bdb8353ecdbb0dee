#pragma once

// Small helpers several tests share: files and awaiting a task.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora::test {

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes the folders on the way.
inline bool writeFile(const QString &path, const QByteArray &content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
           (!executable || file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
}

// Ends process: asked to first, killed when it has not within 3 s.
inline void end(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(3000))
        process.kill();
    process.waitForFinished();
}

// Something other than a file at path, by type: a FIFO (S_IFIFO), else a link to /dev/zero.
inline bool makeOddFile(const QString &path, mode_t type)
{
    const QByteArray name = QFile::encodeName(path);
    return type == S_IFIFO ? mkfifo(name, 0600) == 0 : symlink("/dev/zero", name) == 0;
}

// The type and permissions of what is at path, links not followed; 0 for nothing.
inline mode_t fileMode(const QString &path)
{
    struct stat status = {};
    return lstat(QFile::encodeName(path), &status) == 0 ? status.st_mode : 0;
}

// The task's result once it has ended, resumed on this thread; nothing when it has not ended
// within ms. Shared, so a task still running after a failed test has somewhere valid to write.
template<typename T> std::optional<T> awaitWithin(QCoro::Task<T> task, int ms)
{
    const auto result = std::make_shared<std::optional<T>>();
    [[maybe_unused]] const QCoro::Task<> waiting = [](QCoro::Task<T> task,
                                                      auto result) -> QCoro::Task<> {
        *result = co_await std::move(task);
    }(std::move(task), result);
    if (!QTest::qWaitFor([&] { return result->has_value(); }, ms))
        return std::nullopt;
    return std::move(*result);
}

} // namespace velmora::test
