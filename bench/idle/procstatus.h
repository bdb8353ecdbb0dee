#pragma once

// Figures of a running process read from /proc, shared by the idle benchmark's programs.

#include <QByteArray>
#include <QDir>
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

// The sum over every live thread of the process of one field of
// /proc/<pid>/task/*/schedstat: 0, the nanoseconds it has run; 2, the times it was put on a
// CPU, which for a program that sleeps between its timers is how often it woke. -1 when
// unreadable.
inline double schedstatSum(pid_t pid, int field)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double sum = 0;
    bool read = false;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!schedstat.open(QIODevice::ReadOnly))
            continue;
        sum += schedstat.readAll().split(' ').value(field).toDouble();
        read = true;
    }
    return read ? sum : -1;
}

// CPU time of every thread of the process so far, in milliseconds, from schedstat: utime and
// stime come in 10 ms ticks, too coarse for a program that runs a few milliseconds a minute.
inline double cpuMilliseconds(pid_t pid)
{
    const double nanoseconds = schedstatSum(pid, 0);
    return nanoseconds < 0 ? -1 : nanoseconds / 1e6;
}

// How often the process's threads have woken so far; -1 when unreadable.
inline double wakeups(pid_t pid)
{
    return schedstatSum(pid, 2);
}

} // namespace velmora::bench
