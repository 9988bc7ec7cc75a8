// What history.json costs a start and the next save: a file of 100 MB, and 10,000 rounds (as the
// program wrote them before it kept at most 200) of a 48-pupil class, beyond the 16 MB that are
// read, and of a 12-pupil class, within them. Each file is written and read in child processes of
// their own, so that neither the writing nor another case shows in a case's peak memory.
#include "appdirectory.h"
#include "childcase.h"
#include "historystore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

constexpr double goalMegabytes = 150;
constexpr qint64 goalMs = 500;

ClassState classOf(int pupils)
{
    ClassState state;
    for (int i = 0; i < pupils / 2; ++i) {
        state.roster.maleNames.append(u"男生%1"_s.arg(i + 1));
        state.roster.femaleNames.append(u"女生%1"_s.arg(i + 1));
    }
    state.roster.rebuildNameMaps();
    state.groupConfigs = defaultGroupConfigs();
    Grouping members(8);
    for (int person = 1; person <= pupils; ++person)
        members[(person - 1) % 8].append(person);
    state.currentGrouping = SeatingPlan::fromMembers(members);
    return state;
}

bool writeCase(const QString &path, const QString &name)
{
    const ClassState state = classOf(name == u"rounds12"_s ? 12 : 48);
    GroupHistory history;
    const HistoryRound round =
        roundFromPlan(state, state.currentGrouping, QDateTime(QDate(2025, 1, 1), QTime(8, 0)));
    if (name.startsWith(u"rounds"_s)) {
        for (int i = 0; i < 10000; ++i)
            history.rounds.append(round);
        history.renumber();
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(HistoryStore::toJson(history)) > 0;
    }
    // 100 MB of rounds, written piece by piece.
    history.rounds = {round};
    QByteArray one = HistoryStore::toJson(history);
    const qsizetype open = one.indexOf('[', one.indexOf("\"rounds\""));
    const QByteArray head = one.left(open + 1);
    const QByteArray body = one.mid(open + 1, one.lastIndexOf(']') - open - 1);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(head) < 0)
        return false;
    for (qint64 written = 0; written < 100LL * 1000 * 1000; written += body.size() + 1) {
        if (written > 0 && file.write(",") != 1)
            return false;
        if (file.write(body) != body.size())
            return false;
    }
    return file.write("]}\n") == 3;
}

// In the child: the start's read and the first save, as the window does them.
int runCase(const QString &dir)
{
    setApplicationDirectoryOverride(dir);
    const ClassState state = classOf(48);
    QElapsedTimer timer;
    timer.start();
    HistoryStore store;
    const QString loaded = store.load();
    const qint64 loadMs = timer.elapsed();
    const QString saved = store.recordSaved(state, QDateTime::currentDateTime());
    Bench::printPeakAnd({loadMs, timer.elapsed(), static_cast<long long>(store.history().rounds.size())});
    std::fprintf(stderr, "%s\n%s\n", qUtf8Printable(loaded), qUtf8Printable(saved));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--case") == 0)
        return runCase(QString::fromLocal8Bit(argv[2]));
    if (argc == 4 && qstrcmp(argv[1], "--write") == 0)
        return writeCase(QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[2])) ? 0 : 1;

    bool met = true;
    for (const QString &name : {u"100MB"_s, u"rounds48"_s, u"rounds12"_s}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"history.json"_s);
        if (!dir.isValid() ||
            QProcess::execute(QCoreApplication::applicationFilePath(), {u"--write"_s, name, path}) != 0) {
            std::fprintf(stderr, "cannot write the %s case\n", qPrintable(name));
            return 1;
        }
        const qint64 size = QFile(path).size();
        const auto fields = Bench::runChildCase(name, {u"--case"_s, dir.path()});
        if (!fields)
            return 1;
        const double megabytes = Bench::peakMegabytes(*fields);
        const qint64 totalMs = fields->value(2).toLongLong();
        const bool ok = megabytes < goalMegabytes && totalMs < goalMs;
        met = met && ok;
        std::printf("history.json %s (%.1f MB): read %s ms, read and first save %lld ms, %s rounds kept, "
                    "peak %.0f MB "
                    "(goal < %lld ms and < %.0f MB: %s)\n",
                    qPrintable(name), double(size) / 1e6, fields->value(1).constData(),
                    static_cast<long long>(totalMs), fields->value(3).constData(), megabytes,
                    static_cast<long long>(goalMs), goalMegabytes, ok ? "met" : "missed");
    }
    return met ? 0 : 1;
}
