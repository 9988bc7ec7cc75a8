#include "classbuilder.h"

#include <QJsonArray>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora::Test {

ClassState makeClass(int boys, int girls)
{
    ClassState state;
    for (int i = 1; i <= boys; ++i)
        state.roster.maleNames.append(u"男"_s + QString::number(i));
    for (int i = 1; i <= girls; ++i)
        state.roster.femaleNames.append(u"女"_s + QString::number(i));
    state.roster.rebuildNameMaps();
    state.groupConfigs = QList<GroupConfig>(GroupCount);
    return state;
}

void enableGroup(ClassState &state, int number, int seats, int males, int females)
{
    GroupConfig &config = state.groupConfigs[number - 1];
    config.enabled = true;
    config.total = seats;
    config.males = males;
    config.females = females;
    state.enabledGroupCount = int(state.enabledGroups().size());
}

Grouping parseGrouping(const QString &text)
{
    Grouping grouping;
    for (const QString &group : text.split(u'|')) {
        QList<int> seats;
        for (const QString &seat : group.split(u' ', Qt::SkipEmptyParts))
            seats.append(seat.toInt());
        grouping.append(seats);
    }
    return grouping;
}

QString formatGrouping(const Grouping &grouping)
{
    QStringList groups;
    for (const QList<int> &seats : grouping) {
        QStringList entries;
        for (int p : seats)
            entries.append(QString::number(p));
        groups.append(entries.join(u' '));
    }
    return groups.join(u" | "_s);
}

namespace {

int personOf(const ClassState &state, const QJsonValue &value)
{
    if (value.isDouble())
        return value.toInt();
    return state.roster.nameToId.value(value.toString(), -1);
}

QList<Constraint> constraintsOf(const ClassState &state, const QJsonArray &array)
{
    QList<Constraint> constraints;
    for (const QJsonValue &entry : array) {
        Constraint members;
        for (const QJsonValue &member : entry.toArray())
            members.append(personOf(state, member));
        constraints.append(members);
    }
    return constraints;
}

int pick(std::mt19937 &random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

QList<int> someOf(std::mt19937 &random, int people, int count)
{
    QList<int> members;
    for (int tries = 0; members.size() < count && tries < 4 * count; ++tries) {
        const int p = pick(random, 1, people);
        if (!members.contains(p))
            members.append(p);
    }
    return members;
}

} // namespace

ClassState randomClass(std::mt19937 &random)
{
    const int people = pick(random, 0, 120);
    const int boys = pick(random, 0, people);
    ClassState state = Test::makeClass(boys, people - boys);

    QList<int> numbers{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    std::shuffle(numbers.begin(), numbers.end(), random);
    const int enabledCount = pick(random, 0, 10);
    for (int i = 0; i < enabledCount; ++i)
        Test::enableGroup(state, numbers.at(i), pick(random, 0, 12), pick(random, -1, 6),
                          pick(random, -1, 6));

    if (people > 0) {
        for (int i = pick(random, 0, 12); i > 0; --i)
            state.roster.leaderNames.insert(state.roster.idToName.value(pick(random, 1, people)));
        for (int i = pick(random, 0, people / 3); i > 0; --i)
            state.roster.boarderNames.insert(state.roster.idToName.value(pick(random, 1, people)));
        for (int i = pick(random, 0, 10); i > 0; --i) {
            // Small ranges make clashes common; 0, 11 and 13 are out of range.
            state.fixedPositions.insert(pick(random, 1, people),
                                        {pick(random, 0, 11), pick(random, 0, 13) / 2 + 1});
        }
        for (int i = pick(random, 0, 5); i > 0; --i)
            state.mustTogether.append(someOf(random, people, pick(random, 2, 6)));
        for (int i = pick(random, 0, 5); i > 0; --i)
            state.mustSeparate.append(someOf(random, people, pick(random, 2, 4)));
    }
    state.roster.leaderNames.insert(u"不在名单"_s);
    return state;
}

ClassState classFromJson(const QJsonObject &json)
{
    ClassState state = makeClass(json.value(u"boys"_s).toInt(), json.value(u"girls"_s).toInt());
    for (const QJsonValue &group : json.value(u"groups"_s).toArray()) {
        const QJsonArray g = group.toArray();
        enableGroup(state, g.at(0).toInt(), g.at(1).toInt(), g.at(2).toInt(-1), g.at(3).toInt(-1));
    }
    for (const QJsonValue &name : json.value(u"leaders"_s).toArray())
        state.roster.leaderNames.insert(name.toString());
    for (const QJsonValue &name : json.value(u"boarders"_s).toArray())
        state.roster.boarderNames.insert(name.toString());
    for (const QJsonValue &entry : json.value(u"fixed"_s).toArray()) {
        const QJsonArray f = entry.toArray();
        state.fixedPositions.insert(personOf(state, f.at(0)), {f.at(1).toInt(), f.at(2).toInt()});
    }
    state.mustTogether = constraintsOf(state, json.value(u"together"_s).toArray());
    state.mustSeparate = constraintsOf(state, json.value(u"separate"_s).toArray());
    const QJsonObject scores = json.value(u"scores"_s).toObject();
    for (auto it = scores.begin(); it != scores.end(); ++it)
        state.roster.scores.insert(it.key(), it.value().toInt());
    state.balanceByScores = json.value(u"balance"_s).toBool();
    return state;
}

void drawScores(ClassState &state, std::mt19937 &random, int eighths)
{
    for (const QString &name : state.roster.idToName) {
        if (int(random() % 8) < eighths)
            state.roster.scores.insert(name, int(random() % 200) * 50);
    }
}

} // namespace Velmora::Test
