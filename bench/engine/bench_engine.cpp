// One full grouping run, log collected, for three classes: the sample class, a full room and a
// stress case. Prints the median wall time and, where valgrind is installed, the instruction
// count of a single run measured by callgrind. See README.md beside this file for the figures
// and where the time goes.

#include "groupingengine.h"
#include "sampleclass.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

struct Case
{
    const char *key;
    const char *title;
    int boys;
    int girls;
    int groups;
    int seats;
    int together;
    int separate;
    int fixed;
    int leaders;
    int boarders;
    int repetitions;
};

const Case cases[] = {
    {"sample", "sample class: 48 persons, 9 groups of 6", 0, 0, 0, 0, 0, 0, 0, 0, 0, 2000},
    {"room", "full room: 100 persons, 10 groups of 10", 50, 50, 10, 10, 10, 10, 10, 10, 20, 2000},
    {"stress", "stress: 1000 persons, 10 groups of 100", 500, 500, 10, 100, 10, 10, 10, 10, 200, 30},
};

// The class is drawn from a fixed seed, so every build measures the same input.
ClassState makeClass(const Case &c)
{
    if (c.boys == 0)
        return loadSampleClass();

    std::mt19937 random(7);
    const int people = c.boys + c.girls;
    const auto anyone = [&]() { return 1 + int(random() % std::uint32_t(people)); };

    ClassState state;
    for (int i = 1; i <= c.boys; ++i)
        state.roster.maleNames.append(u"男生%1"_s.arg(i));
    for (int i = 1; i <= c.girls; ++i)
        state.roster.femaleNames.append(u"女生%1"_s.arg(i));
    state.roster.rebuildNameMaps();
    state.groupConfigs = QList<GroupConfig>(GroupCount);
    for (int g = 0; g < c.groups; ++g) {
        GroupConfig &config = state.groupConfigs[g];
        config.enabled = true;
        config.total = c.seats;
        config.males = c.seats * c.boys / people;
        config.females = c.seats - config.males;
    }
    state.enabledGroupCount = c.groups;
    for (int i = 0; i < c.leaders; ++i)
        state.roster.leaderNames.insert(state.roster.idToName.value(anyone()));
    for (int i = 0; i < c.boarders; ++i)
        state.roster.boarderNames.insert(state.roster.idToName.value(anyone()));
    // Distinct persons on distinct seats, except that the last names the first one's seat: the
    // clash sends the loser through the swap path search, the costly part of the optimisation.
    while (state.fixedPositions.size() < c.fixed) {
        const int k = int(state.fixedPositions.size()) == c.fixed - 1 ? 0 : int(state.fixedPositions.size());
        const int p = anyone();
        if (!state.fixedPositions.contains(p))
            state.fixedPositions.insert(p, {1 + k % c.groups, 1 + k % c.seats});
    }
    for (int i = 0; i < c.together; ++i)
        state.mustTogether.append({anyone(), anyone(), anyone()});
    for (int i = 0; i < c.separate; ++i)
        state.mustSeparate.append({anyone(), anyone(), anyone()});
    return state;
}

// Not inlined, so that callgrind can count exactly this.
[[gnu::noinline]] qsizetype measuredRun(const ClassState &state, std::uint32_t seed)
{
    QStringList log;
    GroupingEngine engine(
        state, [&log](const QString &line) { log.append(line); }, {}, seedSequence(seed));
    const SeatingPlan plan = engine.run();
    return plan.isEmpty() ? 0 : log.size();
}

const Case *findCase(const QString &key)
{
    for (const Case &c : cases) {
        if (key == QLatin1String(c.key))
            return &c;
    }
    return nullptr;
}

QString countInstructions(const QString &valgrind, const Case &c)
{
    QProcess process;
    process.start(valgrind, {u"--tool=callgrind"_s, u"--callgrind-out-file=/dev/null"_s,
                             u"--toggle-collect=*measuredRun*"_s, QCoreApplication::applicationFilePath(),
                             u"--once"_s, QLatin1String(c.key)});
    if (!process.waitForFinished(600000))
        return u"n/a (valgrind did not finish)"_s;
    static const QRegularExpression collected(u"Collected : (\\d+)"_s);
    const auto match = collected.match(QString::fromLocal8Bit(process.readAllStandardError()));
    return match.hasMatch() ? QLocale::c().toString(match.captured(1).toLongLong()) : u"n/a"_s;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == u"--once"_s) {
        const Case *c = findCase(args.at(2));
        if (!c)
            return 2;
        const ClassState state = makeClass(*c);
        return measuredRun(state, 1) > 0 ? 0 : 1;
    }

    const QString valgrind = QStandardPaths::findExecutable(u"valgrind"_s);
    std::printf("GroupingEngine::run, log collected; median of N runs with seeds 1..N\n");
    for (const Case &c : cases) {
        const ClassState state = makeClass(c);
        if (state.roster.maleNames.isEmpty()) {
            std::printf("  %-44s skipped: VELMORA_SOURCE_DIR does not lead to the sample class\n", c.title);
            continue;
        }
        std::vector<qint64> times;
        qsizetype lines = 0;
        for (int i = 0; i < c.repetitions; ++i) {
            QElapsedTimer timer;
            timer.start();
            lines += measuredRun(state, std::uint32_t(i + 1));
            times.push_back(timer.nsecsElapsed());
        }
        std::nth_element(times.begin(), times.begin() + long(times.size() / 2), times.end());
        const double medianMs = double(times[times.size() / 2]) / 1e6;
        const QString instructions =
            valgrind.isEmpty() ? u"n/a (no valgrind)"_s : countInstructions(valgrind, c);
        std::printf("  %-44s median %8.3f ms  (N=%d, %lld log lines/run)  instructions/run %s\n", c.title,
                    medianMs, c.repetitions, static_cast<long long>(lines / c.repetitions),
                    instructions.toUtf8().constData());
    }
    return 0;
}
