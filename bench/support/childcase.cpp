#include "childcase.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

#include <sys/resource.h>

namespace Velmora::Bench {

std::optional<QList<QByteArray>> runChildCase(const QString &label, const QStringList &arguments)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        std::fprintf(stderr, "%s: case %s failed: %s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(label), child.readAllStandardError().constData());
        return std::nullopt;
    }
    return child.readAllStandardOutput().trimmed().split(' ');
}

double processorMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void printPeakAnd(std::initializer_list<long long> values)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld", static_cast<long long>(usage.ru_maxrss));
    for (long long value : values)
        std::printf(" %lld", value);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace Velmora::Bench
