#pragma once

// Small helpers several tests share: files and awaiting a task.

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>

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
