// Saves the settings dialog's changes to config.ini over and over, switching between two rosters
// that number the same pupils differently, until it is killed. Prints "ready" after the first save.
#include "configstore.h"
#include "settingssave.h"

#include <QCoreApplication>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Velmora;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    ClassState state;
    state.configPath = QString::fromLocal8Bit(argv[1]);
    state.groupConfigs = defaultGroupConfigs();
    state.currentStyle = u"样式1"_s;
    state.roster.maleNames = {u"张伟"_s, u"王强"_s, u"刘洋"_s};
    state.roster.femaleNames = {u"李娜"_s, u"赵敏"_s};
    state.roster.rebuildNameMaps();
    state.fixedPositions = {{2, {1, 2}}, {4, {2, 3}}};
    state.mustTogether = {{1, 5}};
    const QStringList shorter = state.roster.maleNames;
    const QStringList longer = QStringList{u"陈新"_s} + shorter;
    for (long round = 0;; ++round) {
        const Roster previous = state.roster;
        state.roster.maleNames = round % 2 ? shorter : longer;
        if (!saveSettings(state, previous, QString()).written)
            return 1;
        if (round == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
