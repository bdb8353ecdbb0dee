#pragma once

// What the fuzz targets share: the input as bytes or as a file, a quiet log, a hard failure.

#include <QFile>
#include <QTemporaryDir>

namespace fuzzing {

// The parsers log every bad input; printing each would cost more than parsing it.
[[maybe_unused]] static const QtMessageHandler quiet =
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

// Not a copy: the sanitizers see a read past the input's end.
inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

// A broken promise of the code under test: libFuzzer keeps the input that caused it.
inline void require(bool holds)
{
    if (!holds)
        std::abort();
}

// The input written to name in a directory of this run's own; its path.
inline QString file(const QString &name, const uint8_t *data, size_t size)
{
    static const QTemporaryDir directory;
    QFile out(directory.filePath(name));
    QDir().mkpath(QFileInfo(out).absolutePath());
    require(out.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            out.write(bytes(data, size)) == qint64(size));
    return out.fileName();
}

} // namespace fuzzing
