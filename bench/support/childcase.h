#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>

namespace Velmora::Bench {

// A case measured in a process of its own, so that the peak memory it reports is its alone: the
// benchmark starts itself again with `arguments` and reads the fields the child printed on one
// line. Without a result (the child failed or took over ten minutes) the child's error output has
// been printed, naming `label`.
std::optional<QList<QByteArray>> runChildCase(const QString &label, const QStringList &arguments);

// In the child: one line of the peak resident size in KB, then `values`, for runChildCase.
void printPeakAnd(std::initializer_list<long long> values = {});

// Processor time of this process, so that the figures hold on a machine busy with other work.
double processorMilliseconds();

// The first field runChildCase read, in MB.
inline double peakMegabytes(const QList<QByteArray> &fields)
{
    return fields.value(0).toDouble() / 1024.0;
}

} // namespace Velmora::Bench
