#include "sampleclass.h"

#include <QSettings>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

QList<Constraint> readItems(const QSettings &settings, const QString &key)
{
    QList<Constraint> items;
    for (const QString &item : settings.value(key).toStringList()) {
        Constraint numbers;
        for (const QString &part : item.split(u','))
            numbers.append(part.toInt());
        items.append(numbers);
    }
    return items;
}

} // namespace

// Read the way the configuration file stores it.
ClassState loadSampleClass()
{
    const QSettings settings(qEnvironmentVariable("VELMORA_SOURCE_DIR") +
                                 u"/examples/sample-class/config.ini"_s,
                             QSettings::IniFormat);
    ClassState state;
    const auto names = [&settings](const QString &key) {
        QStringList list = settings.value(key).toStringList();
        for (QString &name : list)
            name = name.trimmed();
        return list;
    };
    state.roster.maleNames = names(u"Male/Names"_s);
    state.roster.femaleNames = names(u"Female/Names"_s);
    const QStringList leaders = names(u"Leaders/Names"_s);
    const QStringList boarders = names(u"Boarders/Names"_s);
    state.roster.leaderNames = QSet<QString>(leaders.cbegin(), leaders.cend());
    state.roster.boarderNames = QSet<QString>(boarders.cbegin(), boarders.cend());
    state.roster.rebuildNameMaps();
    for (int g = 0; g < GroupCount; ++g) {
        const QString section = u"GroupConfig_%1/"_s.arg(g);
        GroupConfig config;
        config.enabled = settings.value(section + u"enabled"_s, g < 9).toBool();
        config.total = settings.value(section + u"total"_s, g < 9 ? 6 : 0).toInt();
        config.males = settings.value(section + u"males"_s, 2).toInt();
        config.females = settings.value(section + u"females"_s, 4).toInt();
        state.groupConfigs.append(config);
    }
    state.enabledGroupCount = int(state.enabledGroups().size());
    for (const Constraint &item : readItems(settings, u"FixedPositions/List"_s)) {
        if (item.size() == 3)
            state.fixedPositions.insert(item.at(0), {item.at(1), item.at(2)});
    }
    state.mustTogether = readItems(settings, u"Constraints/MustTogether"_s);
    state.mustSeparate = readItems(settings, u"Constraints/MustSeparate"_s);
    return state;
}

} // namespace Velmora
