// Two thousand generated classes, half of them awkward (a disabled group between enabled ones,
// fixed seats that clash, lie past their group or in a disabled group): every fixed person who
// is seated must sit on their own seat number in the plan, in the results table and in the chart,
// and every line the generate adds after the comparison line must describe the plan shown, in the
// teacher's group numbers.

#include "benchclasses.h"
#include "generatelog.h"
#include "plancheck.h"
#include "resultstable.h"
#include "runselection.h"
#include "seatingexporter.h"

#include <QApplication>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::Bench;

namespace {

// Moves groups k.. one number up and leaves group k + 1 disabled between enabled ones, then adds
// fixed positions the engine refuses: a clash, a seat past its group, a disabled group.
void makeAwkward(ClassState &state, std::mt19937 &random)
{
    const QList<int> enabled = state.enabledGroups();
    if (enabled.size() >= GroupCount || enabled.isEmpty())
        return;
    const int gap = between(random, 1, int(enabled.size()) - 1);
    for (int g = GroupCount - 1; g > gap; --g)
        state.groupConfigs[g] = state.groupConfigs[g - 1];
    state.groupConfigs[gap] = {false, 4, -1, -1};
    for (auto &seat : state.fixedPositions) {
        if (seat.first > gap)
            ++seat.first;
    }
    const int people = state.roster.maleCount() + state.roster.femaleCount();
    const auto anyoneFree = [&] {
        for (;;) {
            const int p = between(random, 1, people);
            if (!state.fixedPositions.contains(p))
                return p;
        }
    };
    if (!state.fixedPositions.isEmpty())
        state.fixedPositions.insert(anyoneFree(), state.fixedPositions.first());
    const int last = state.enabledGroups().constLast();
    state.fixedPositions.insert(anyoneFree(), {last + 1, state.groupConfigs.at(last).total + 2});
    state.fixedPositions.insert(anyoneFree(), {gap + 1, 1});
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int classes = 2000;
    if (argc > 1)
        classes = std::max(1, std::atoi(argv[1]));

    std::mt19937 random(20261210);
    long long fixedChecked = 0;
    long long fixedOffSeat = 0;
    long long classesWithLineProblems = 0;
    long long linesChecked = 0;
    std::vector<double> times;
    QTableWidget table;
    for (int i = 0; i < classes; ++i) {
        ClassState state = randomClass(random);
        if (i % 2)
            makeAwkward(state, random);
        // Every third class balanced by scores, drawn from a stream of its own so that the other
        // classes stay as they were drawn before.
        if (i % 3 == 2) {
            std::mt19937 scoreRandom(std::uint32_t(7919 * i + 1));
            drawScores(state, scoreRandom);
        }
        const std::uint32_t seed = std::uint32_t(random());
        const double started = threadMilliseconds();
        const GenerateReport report = generatePlan(state, seedSequence(seed));
        times.push_back(threadMilliseconds() - started);
        const QStringList log = generateLogLines(report, state);
        const SeatingPlan &plan = report.plan;

        QStringList problems = planProblems(state, plan);
        const QStringList lineProblems = logProblems(state, plan, log, builtInTerms(state));
        problems += lineProblems;
        classesWithLineProblems += !lineProblems.isEmpty();
        linesChecked += log.size() - log.indexOf(QRegularExpression(u"^已比较 .*"_s)) - 1;

        state.currentGrouping = plan;
        refreshResultsTable(&table, state);
        const QMap<PersonId, SeatRef> fixed = acceptedFixedSeats(state);
        for (auto it = fixed.cbegin(); it != fixed.cend(); ++it) {
            if (!plan.seatOf(it.key()).isValid())
                continue;
            ++fixedChecked;
            const int row = plan.positionOf(it.value().group);
            const QString name = state.roster.nameOf(it.key());
            const QTableWidgetItem *cell = table.item(row, it.value().seat);
            const bool inPlan = plan.occupant(it.value()) == it.key();
            const bool inTable = cell && cell->text() == name && !table.isColumnHidden(it.value().seat);
            const QString marker = u"%1-%2"_s.arg(row + 1).arg(it.value().seat);
            const bool inChart = SeatingExporter::seatMarkerOccupant(plan, marker) == it.key();
            if (!inPlan || !inTable || !inChart) {
                ++fixedOffSeat;
                problems.append(u"fixed %1 off %2-%3 (plan %4, table %5, chart %6)"_s.arg(name)
                                    .arg(it.value().group)
                                    .arg(it.value().seat)
                                    .arg(inPlan)
                                    .arg(inTable)
                                    .arg(inChart));
            }
        }
        if (!problems.isEmpty() && std::getenv("VELMORA_PLANS_VERBOSE"))
            std::printf("  class %d: %s\n", i, qPrintable(problems.join(u"; "_s)));
    }
    std::sort(times.begin(), times.end());
    std::printf("Plans of %d generated classes, half with a disabled group between enabled ones and refused "
                "fixed seats\n",
                classes);
    std::printf("  Goal: every seated fixed person on their own seat in plan, table and chart: %lld of %lld "
                "(%s)\n",
                fixedChecked - fixedOffSeat, fixedChecked, fixedOffSeat == 0 ? "met" : "MISSED");
    std::printf("  Goal: every added log line describes the plan shown (%lld lines): %lld classes with a "
                "line that does not (%s)\n",
                linesChecked, classesWithLineProblems, classesWithLineProblems == 0 ? "met" : "MISSED");
    std::printf("  processor time per generate: median %.2f ms, max %.2f ms\n", times[times.size() / 2],
                times.back());
    return 0;
}
