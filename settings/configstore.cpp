#include "configstore.h"

#include "appdirectory.h"

#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora::ConfigStore {

namespace {

// A part that does not parse reads as 0, exactly as QString::toInt leaves it.
int toNumber(const QString &part)
{
    return part.toInt(nullptr, 10);
}

QList<Constraint> readConstraints(const QSettings &settings, const QString &key)
{
    QList<Constraint> constraints;
    const QStringList items = settings.value(key).toStringList();
    for (const QString &item : items)
        constraints.append(decodeConstraint(item));
    return constraints;
}

QStringList encodeConstraints(const QList<Constraint> &constraints)
{
    QStringList items;
    for (const Constraint &constraint : constraints)
        items.append(encodeConstraint(constraint));
    return items;
}

// The value as written, clamped; a number too long for any integer type still counts by its sign.
// What does not read as a number at all gives what QVariant gives, as before.
int readSeats(const QVariant &value, QString *written, bool *clamped)
{
    *written = value.toString().trimmed();
    bool ok = false;
    qlonglong number = written->toLongLong(&ok);
    static const QRegularExpression digits(u"^[+-]?[0-9]+$"_s);
    if (!ok && digits.match(*written).hasMatch())
        number = written->startsWith(u'-') ? -1 : qlonglong(maxSeats) + 1;
    else if (!ok)
        number = value.toInt();
    *clamped = number < 0 || number > maxSeats;
    return int(std::clamp<qlonglong>(number, 0, maxSeats));
}

bool finish(QSettings &settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

QString configFilePath()
{
    return applicationDirectory() + u"/config.ini"_s;
}

QString encodeFixedPosition(int person, int group, int seat)
{
    return u"%1,%2,%3"_s.arg(person).arg(group).arg(seat);
}

QString encodeConstraint(const Constraint &constraint)
{
    QStringList parts;
    for (int person : constraint)
        parts.append(QString::number(person));
    return parts.join(u',');
}

Constraint decodeConstraint(const QString &item)
{
    Constraint constraint;
    // Empty parts are kept on purpose: "3,,7" is three numbers, the middle one 0.
    const QStringList parts = item.split(u',', Qt::KeepEmptyParts);
    for (const QString &part : parts)
        constraint.append(toNumber(part));
    return constraint;
}

QStringList loadConfiguration(ClassState &state)
{
    state.configPath = configFilePath();
    QSettings settings(state.configPath, QSettings::IniFormat);
    Roster &roster = state.roster;
    roster.maleNames = settings.value(u"Male/Names"_s).toStringList();
    roster.femaleNames = settings.value(u"Female/Names"_s).toStringList();
    const QStringList leaders = settings.value(u"Leaders/Names"_s).toStringList();
    const QStringList boarders = settings.value(u"Boarders/Names"_s).toStringList();
    roster.leaderNames = QSet<QString>(leaders.cbegin(), leaders.cend());
    roster.boarderNames = QSet<QString>(boarders.cbegin(), boarders.cend());
    state.currentStyle = settings.value(u"Style/Current"_s, u"样式1"_s).toString();
    roster.rebuildNameMaps();

    return {
        u"加载了 %1 名男生和 %2 名女生"_s.arg(roster.maleCount()).arg(roster.femaleCount()),
        u"加载了 %1 名组长和 %2 名外宿生"_s.arg(roster.leaderNames.size()).arg(roster.boarderNames.size()),
        u"当前样式: %1"_s.arg(state.currentStyle)};
}

QStringList loadGroupConfiguration(ClassState &state)
{
    QStringList warnings;
    QSettings settings(state.configPath, QSettings::IniFormat);
    const QList<GroupConfig> defaults = defaultGroupConfigs();
    if (state.groupConfigs.size() != GroupCount)
        state.groupConfigs = defaults;
    for (int i = 0; i < GroupCount; ++i) {
        settings.beginGroup(u"GroupConfig_"_s + QString::number(i));
        GroupConfig &config = state.groupConfigs[i];
        config.enabled = settings.value(u"enabled"_s, defaults.at(i).enabled).toBool();
        const QVariant total = settings.value(u"total"_s, defaults.at(i).total);
        QString written;
        bool clamped = false;
        config.total = readSeats(total, &written, &clamped);
        // A hand-edited file may ask for billions of seats; the engine would allocate them all.
        if (clamped)
            warnings.append(u"警告: 组%1 座位数 %2 超出范围，已按 %3 处理"_s.arg(
                QString::number(i + 1), written, QString::number(config.total)));
        config.males = settings.value(u"males"_s, 2).toInt();
        config.females = settings.value(u"females"_s, 4).toInt();
        settings.endGroup();
    }
    state.enabledGroupCount = int(state.enabledGroups().size());

    state.fixedPositions.clear();
    const QStringList fixedItems = settings.value(u"FixedPositions/List"_s).toStringList();
    for (const QString &item : fixedItems) {
        const QStringList parts = item.split(u',', Qt::KeepEmptyParts);
        if (parts.size() != 3)
            continue;
        state.fixedPositions.insert(toNumber(parts.at(0)),
                                    qMakePair(toNumber(parts.at(1)), toNumber(parts.at(2))));
    }

    state.mustTogether = readConstraints(settings, u"Constraints/MustTogether"_s);
    state.mustSeparate = readConstraints(settings, u"Constraints/MustSeparate"_s);
    return warnings;
}

bool saveGroupConfiguration(const ClassState &state)
{
    QSettings settings(state.configPath, QSettings::IniFormat);
    for (int i = 0; i < state.groupConfigs.size() && i < GroupCount; ++i) {
        const GroupConfig &config = state.groupConfigs.at(i);
        settings.beginGroup(u"GroupConfig_"_s + QString::number(i));
        settings.setValue(u"enabled"_s, config.enabled);
        settings.setValue(u"total"_s, config.total);
        settings.setValue(u"males"_s, config.males);
        settings.setValue(u"females"_s, config.females);
        settings.endGroup();
    }

    QStringList fixedItems;
    for (auto it = state.fixedPositions.cbegin(); it != state.fixedPositions.cend(); ++it)
        fixedItems.append(encodeFixedPosition(it.key(), it.value().first, it.value().second));
    settings.setValue(u"FixedPositions/List"_s, fixedItems);
    settings.setValue(u"Constraints/MustTogether"_s, encodeConstraints(state.mustTogether));
    settings.setValue(u"Constraints/MustSeparate"_s, encodeConstraints(state.mustSeparate));
    return finish(settings);
}

bool saveRosterAndStyle(const ClassState &state, const QString &customPath)
{
    QSettings settings(state.configPath, QSettings::IniFormat);
    const Roster &roster = state.roster;
    settings.setValue(u"Male/Names"_s, roster.maleNames);
    settings.setValue(u"Female/Names"_s, roster.femaleNames);
    settings.setValue(u"Leaders/Names"_s,
                      QStringList(roster.leaderNames.cbegin(), roster.leaderNames.cend()));
    settings.setValue(u"Boarders/Names"_s,
                      QStringList(roster.boarderNames.cbegin(), roster.boarderNames.cend()));
    settings.setValue(u"Style/Current"_s, state.currentStyle);
    if (state.currentStyle == u"自定义"_s)
        settings.setValue(u"Style/CustomPath"_s, customPath);
    return finish(settings);
}

QString rebuildNameMaps(ClassState &state)
{
    state.roster.rebuildNameMaps();
    return u"更新了姓名映射: %1 名男生, %2 名女生"_s.arg(state.roster.maleCount())
        .arg(state.roster.femaleCount());
}

QString readCustomPath(const QString &configPath)
{
    QSettings settings(configPath, QSettings::IniFormat);
    return settings.value(u"Style/CustomPath"_s, QString()).toString();
}

} // namespace Velmora::ConfigStore
