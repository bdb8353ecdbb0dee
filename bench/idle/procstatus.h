#pragma once

// Figures of a running process read from /proc, shared by the idle benchmark's programs.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <sys/types.h>
#include <unistd.h>

namespace velmora::bench {

// A "<field>: <n> kB" line of /proc/<pid>/status (VmRSS, VmHWM) in kB; -1 when unreadable.
inline long statusKilobytes(pid_t pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = field + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// The sum of the "<field>: <n> kB" lines of /proc/<pid>/smaps_rollup named in fields, in kB:
// Pss, or Private_Clean and Private_Dirty for the memory no other process shares; -1 when
// unreadable.
inline long rollupKilobytes(pid_t pid, const QList<QByteArray> &fields)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return -1;
    long total = 0;
    int found = 0;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && fields.contains(line.left(colon))) {
            total += line.mid(colon + 1).trimmed().split(' ').first().toLong();
            ++found;
        }
    }
    return found == fields.size() ? total : -1;
}

// User plus system CPU time of every thread of the process so far, in milliseconds, from
// utime and stime in /proc/<pid>/stat; -1 when unreadable.
inline double cpuMilliseconds(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The command name may hold spaces and parentheses; the fields start after the last ')'.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line; the state, field 3, is first here.
    if (fields.size() < 13)
        return -1;
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks * 1000 / double(sysconf(_SC_CLK_TCK));
}

} // namespace velmora::bench
