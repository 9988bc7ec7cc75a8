#include "configstore.h"

#include "appdirectory.h"
#include "configfile.h"
#include "pupilscores.h"

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

// The value as written, clamped to minimum..maximum; a number too long for any integer type still
// counts by its sign. What does not read as a number at all gives what QVariant gives, as before.
int readBounded(const QVariant &value, int minimum, int maximum, QString *written, bool *clamped)
{
    *written = value.toString().trimmed();
    bool ok = false;
    qlonglong number = written->toLongLong(&ok);
    static const QRegularExpression digits(u"^[+-]?[0-9]+$"_s);
    if (!ok && digits.match(*written).hasMatch())
        number = written->startsWith(u'-') ? qlonglong(minimum) - 1 : qlonglong(maximum) + 1;
    else if (!ok)
        number = value.toInt();
    *clamped = number < minimum || number > maximum;
    return int(std::clamp<qlonglong>(number, minimum, maximum));
}

// A number of a fixed-position item; anything that is not a number in range reads as 0.
qlonglong toLong(const QString &part)
{
    bool ok = false;
    const qlonglong number = part.toLongLong(&ok, 10);
    return ok ? number : 0;
}

QString clampLine(int group, const QString &what, const QString &written, int used)
{
    return u"警告: 组%1 %2 %3 超出范围，已按 %4 处理"_s.arg(QString::number(group), what, written,
                                                            QString::number(used));
}

// Seat counts and gender targets of one record. Targets are clamped only where the file has them,
// so that the defaults of an unused group stay as they always were.
void readGroup(QSettings &settings, GroupConfig &config, const GroupConfig &defaults, int number,
               QStringList &warnings)
{
    config.enabled = settings.value(u"enabled"_s, defaults.enabled).toBool();
    QString written;
    bool clamped = false;
    // A hand-edited file may ask for billions of seats; the engine would allocate them all.
    config.total = readBounded(settings.value(u"total"_s, defaults.total), 0, maxSeats, &written, &clamped);
    if (clamped)
        warnings.append(clampLine(number, u"座位数"_s, written, config.total));
    // A disabled group keeps whatever targets it had; only its overflow matters.
    const int limit = config.enabled ? config.total : maxSeats;
    const auto target = [&](const QString &key, int fallback, const QString &what) {
        if (!settings.contains(key))
            return fallback;
        const int value = readBounded(settings.value(key), 0, limit, &written, &clamped);
        if (clamped)
            warnings.append(clampLine(number, what, written, value));
        return value;
    };
    config.males = target(u"males"_s, 2, u"男生人数"_s);
    config.females = target(u"females"_s, 4, u"女生人数"_s);
}

void readFixedPositions(const QSettings &settings, ClassState &state, QStringList &warnings)
{
    state.fixedPositions.clear();
    const QStringList items = settings.value(u"FixedPositions/List"_s).toStringList();
    for (const QString &item : items) {
        const QStringList parts = item.split(u',', Qt::KeepEmptyParts);
        if (parts.size() != 3)
            continue;
        const qlonglong group = toLong(parts.at(1));
        const qlonglong seat = toLong(parts.at(2));
        // Only what no group could ever have is dropped here. A seat beyond its group's count
        // stays in the file: the teacher may raise the count again, and until then the engine
        // refuses it with its own line.
        const bool groupValid = group >= 1 && group <= GroupCount;
        if (!groupValid || seat < 1 || seat > maxSeats) {
            warnings.append(u"警告: 固定位置 %1 超出范围，已忽略"_s.arg(item));
            continue;
        }
        state.fixedPositions.insert(toNumber(parts.at(0)), qMakePair(int(group), int(seat)));
    }
}

// Thousands of requirements make every generate crawl. The first ones in the file are kept, of
// either kind, as the teacher sees them in an editor; the rest stay in the copy beside it.
void boundRequirements(ClassState &state, QStringList &warnings, QString *notice)
{
    const qsizetype held = state.mustTogether.size() + state.mustSeparate.size();
    if (held <= maxRequirements)
        return;
    const qsizetype togetherAt = ConfigFile::keyOffset(state.configPath, u"MustTogether"_s);
    const qsizetype separateAt = ConfigFile::keyOffset(state.configPath, u"MustSeparate"_s);
    const bool separateFirst = separateAt >= 0 && (togetherAt < 0 || separateAt < togetherAt);
    QList<Constraint> &first = separateFirst ? state.mustSeparate : state.mustTogether;
    QList<Constraint> &second = separateFirst ? state.mustTogether : state.mustSeparate;
    first.resize(std::min<qsizetype>(first.size(), maxRequirements));
    second.resize(std::min<qsizetype>(second.size(), maxRequirements - first.size()));
    warnings.append(
        u"要求条数过多（最多 %1 条），已忽略 %2 条"_s.arg(maxRequirements).arg(held - maxRequirements));
    static_assert(maxRequirements == 500, "the notice names the bound");
    const bool kept = ConfigFile::keepBackup(state.configPath);
    if (notice)
        *notice = kept
                      ? u"要求条数过多：只保留了前 500 条，原文件已备份为 config.ini.bak"_s
                      : u"要求条数过多：只保留了前 500 条。原文件无法备份为 config.ini.bak，因此不会被改动"_s;
}

// Items that do not read as "name:score" are left out with one line; a list longer than any class
// is cut, as a hand edit or a broken tool may have made it.
QMap<QString, int> readScores(const QSettings &settings, QStringList &warnings)
{
    QMap<QString, int> scores;
    const QStringList items = settings.value(u"Scores/List"_s).toStringList();
    int unreadable = 0;
    for (qsizetype i = 0; i < items.size() && i < maxScores; ++i) {
        QString name;
        int hundredths = 0;
        if (PupilScores::decodeItem(items.at(i), &name, &hundredths))
            scores.insert(name, hundredths);
        else
            ++unreadable;
    }
    if (unreadable > 0)
        warnings.append(u"警告: %1 个成绩无法读取，已忽略"_s.arg(unreadable));
    if (items.size() > maxScores)
        warnings.append(
            u"成绩条数过多（最多 %1 条），已忽略 %2 条"_s.arg(maxScores).arg(items.size() - maxScores));
    return scores;
}

QStringList encodeScores(const QMap<QString, int> &scores)
{
    QStringList items;
    for (auto it = scores.cbegin(); it != scores.cend(); ++it)
        items.append(PupilScores::encodeItem(it.key(), it.value()));
    return items;
}

void writeGroupConfiguration(QSettings &settings, const ClassState &state)
{
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
    // A class that never used scores keeps a file without the section, as before.
    if (state.balanceByScores)
        settings.setValue(u"Scores/Balance"_s, true);
    else
        settings.remove(u"Scores/Balance"_s);
}

void writeRosterAndStyle(QSettings &settings, const ClassState &state, const QString &customPath)
{
    const Roster &roster = state.roster;
    settings.setValue(u"Male/Names"_s, roster.maleNames);
    settings.setValue(u"Female/Names"_s, roster.femaleNames);
    settings.setValue(u"Leaders/Names"_s,
                      QStringList(roster.leaderNames.cbegin(), roster.leaderNames.cend()));
    settings.setValue(u"Boarders/Names"_s,
                      QStringList(roster.boarderNames.cbegin(), roster.boarderNames.cend()));
    settings.setValue(u"Style/Current"_s, state.currentStyle);
    if (roster.scores.isEmpty())
        settings.remove(u"Scores/List"_s);
    else
        settings.setValue(u"Scores/List"_s, encodeScores(roster.scores));
    if (state.currentStyle == u"自定义"_s)
        settings.setValue(u"Style/CustomPath"_s, customPath);
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
    // The start reads what is on the disk, whatever an earlier run in this process remembered.
    ConfigFile::forget(state.configPath);
    Roster &roster = state.roster;
    QStringList warnings;
    ConfigFile::read(state.configPath, [&](QSettings &settings) {
        roster.maleNames = settings.value(u"Male/Names"_s).toStringList();
        roster.femaleNames = settings.value(u"Female/Names"_s).toStringList();
        const QStringList leaders = settings.value(u"Leaders/Names"_s).toStringList();
        const QStringList boarders = settings.value(u"Boarders/Names"_s).toStringList();
        roster.leaderNames = QSet<QString>(leaders.cbegin(), leaders.cend());
        roster.boarderNames = QSet<QString>(boarders.cbegin(), boarders.cend());
        state.currentStyle = settings.value(u"Style/Current"_s, u"样式1"_s).toString();
        roster.scores = readScores(settings, warnings);
    });
    roster.rebuildNameMaps();

    QStringList lines;
    if (const QString note = ConfigFile::encodingNote(state.configPath); !note.isEmpty())
        lines.append(note);
    lines += QStringList{
        u"加载了 %1 名男生和 %2 名女生"_s.arg(roster.maleCount()).arg(roster.femaleCount()),
        u"加载了 %1 名组长和 %2 名外宿生"_s.arg(roster.leaderNames.size()).arg(roster.boarderNames.size()),
        u"当前样式: %1"_s.arg(state.currentStyle)};
    return lines + warnings;
}

QStringList loadGroupConfiguration(ClassState &state, QString *notice)
{
    QStringList warnings;
    const QList<GroupConfig> defaults = defaultGroupConfigs();
    if (state.groupConfigs.size() != GroupCount)
        state.groupConfigs = defaults;
    ConfigFile::read(state.configPath, [&](QSettings &settings) {
        for (int i = 0; i < GroupCount; ++i) {
            settings.beginGroup(u"GroupConfig_"_s + QString::number(i));
            readGroup(settings, state.groupConfigs[i], defaults.at(i), i + 1, warnings);
            settings.endGroup();
        }
        readFixedPositions(settings, state, warnings);
        state.mustTogether = readConstraints(settings, u"Constraints/MustTogether"_s);
        state.mustSeparate = readConstraints(settings, u"Constraints/MustSeparate"_s);
        state.balanceByScores = settings.value(u"Scores/Balance"_s, false).toBool();
    });
    state.enabledGroupCount = int(state.enabledGroups().size());
    boundRequirements(state, warnings, notice);
    return warnings;
}

bool saveGroupConfiguration(const ClassState &state)
{
    return ConfigFile::write(state.configPath,
                             [&](QSettings &settings) { writeGroupConfiguration(settings, state); })
        .written;
}

bool saveRosterAndStyle(const ClassState &state, const QString &customPath)
{
    return ConfigFile::write(state.configPath,
                             [&](QSettings &settings) { writeRosterAndStyle(settings, state, customPath); })
        .written;
}

bool saveSettings(const ClassState &state, const QString &customPath)
{
    return ConfigFile::write(state.configPath,
                             [&](QSettings &settings) {
                                 writeRosterAndStyle(settings, state, customPath);
                                 writeGroupConfiguration(settings, state);
                             })
        .written;
}

QString rebuildNameMaps(ClassState &state)
{
    state.roster.rebuildNameMaps();
    return u"更新了姓名映射: %1 名男生, %2 名女生"_s.arg(state.roster.maleCount())
        .arg(state.roster.femaleCount());
}

QString readCustomPath(const QString &configPath)
{
    QString path;
    ConfigFile::read(configPath, [&path](QSettings &settings) {
        path = settings.value(u"Style/CustomPath"_s, QString()).toString();
    });
    return path;
}

} // namespace Velmora::ConfigStore
