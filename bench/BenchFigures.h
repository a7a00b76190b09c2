// The benchmarks' figures: medians and ranges of runs, milliseconds, memory read from /proc.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

inline double ms(qint64 ns)
{
    return ns / 1e6;
}

// The middle of the figures (the mean of the two middle ones for an even number).
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// "12.3 (11.0–19.8)": the median and the range, with so many decimals.
inline QByteArray spread(const std::vector<double> &v, int decimals = 1)
{
    if (v.empty())
        return "–";
    const auto [low, high] = std::minmax_element(v.cbegin(), v.cend());
    return QStringLiteral("%1 (%2–%3)")
        .arg(median(v), 0, 'f', decimals)
        .arg(*low, 0, 'f', decimals)
        .arg(*high, 0, 'f', decimals)
        .toUtf8();
}

// The machine's load over the last minute, as the benchmarks quote it beside their figures.
inline QByteArray machineLoad()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? load.readAll().split(' ').value(0) : QByteArray("?");
}

// A figure of a process's memory from its /proc status ("VmRSS:", "VmHWM:"), in kB; 0 when
// it cannot be read.
inline qint64 memoryKb(const QString &statusFile, const char *field)
{
    QFile status(statusFile);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return 0;
}
