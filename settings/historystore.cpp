#include "historystore.h"

#include "appdirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr int FormatVersion = 1;
const QString DateFormat = u"yyyy-MM-ddTHH:mm:ss"_s;

} // namespace

QString HistoryStore::defaultPath()
{
    return QDir(applicationDirectory()).filePath(u"history.json"_s);
}

QByteArray HistoryStore::toJson(const GroupHistory &history)
{
    QJsonArray rounds;
    for (const HistoryRound &round : history.rounds) {
        QJsonArray groups;
        for (const HistoryGroup &group : round.groups)
            groups.append(QJsonObject{{u"group"_s, group.number},
                                      {u"names"_s, QJsonArray::fromStringList(group.names)}});
        rounds.append(QJsonObject{
            {u"id"_s, round.id}, {u"savedAt"_s, round.savedAt.toString(DateFormat)}, {u"groups"_s, groups}});
    }
    const QJsonObject settings{{u"avoidRepeats"_s, history.settings.avoidRepeats},
                               {u"recentRounds"_s, history.settings.recentRounds}};
    return QJsonDocument(
               QJsonObject{{u"version"_s, FormatVersion}, {u"settings"_s, settings}, {u"rounds"_s, rounds}})
        .toJson(QJsonDocument::Indented);
}

std::optional<GroupHistory> HistoryStore::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(u"version"_s).toInt() != FormatVersion || !root.value(u"rounds"_s).isArray())
        return std::nullopt;

    GroupHistory history;
    const QJsonObject settings = root.value(u"settings"_s).toObject();
    history.settings.avoidRepeats = settings.value(u"avoidRepeats"_s).toBool(true);
    history.settings.recentRounds =
        qBound(HistorySettings::MinRecentRounds, settings.value(u"recentRounds"_s).toInt(8),
               HistorySettings::MaxRecentRounds);
    QSet<int> ids;
    for (const auto &roundValue : root.value(u"rounds"_s).toArray()) {
        const QJsonObject object = roundValue.toObject();
        HistoryRound round;
        round.id = object.value(u"id"_s).toInt();
        round.savedAt = QDateTime::fromString(object.value(u"savedAt"_s).toString(), DateFormat);
        // A repeated id would make one save update two rounds.
        if (round.id < 1 || ids.contains(round.id) || !round.savedAt.isValid() ||
            !object.value(u"groups"_s).isArray())
            return std::nullopt;
        ids.insert(round.id);
        for (const auto &groupValue : object.value(u"groups"_s).toArray()) {
            const QJsonObject groupObject = groupValue.toObject();
            HistoryGroup group;
            group.number = groupObject.value(u"group"_s).toInt();
            if (group.number < 1 || group.number > GroupCount || !groupObject.value(u"names"_s).isArray())
                return std::nullopt;
            for (const auto &name : groupObject.value(u"names"_s).toArray()) {
                if (!name.isString())
                    return std::nullopt;
                group.names.append(name.toString());
            }
            round.groups.append(group);
        }
        history.rounds.append(round);
    }
    return history;
}

HistoryStore::HistoryStore(QString path) : filePath(std::move(path)) {}

QString HistoryStore::load()
{
    data = GroupHistory();
    currentRound = 0;
    writable = true;
    QFile file(filePath);
    if (!file.exists())
        return {};
    if (file.open(QIODevice::ReadOnly)) {
        if (const std::optional<GroupHistory> read = fromJson(file.readAll())) {
            data = *read;
            return {};
        }
        file.close();
    }
    const QString aside =
        filePath + u".damaged-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd_hhmmss"_s);
    if (QFile::rename(filePath, aside))
        return u"历史记录文件已损坏，已改名为 %1，历史记录重新开始"_s.arg(QDir::toNativeSeparators(aside));
    writable = false;
    return u"历史记录文件已损坏且无法改名: %1，本次运行不记录历史"_s.arg(QDir::toNativeSeparators(filePath));
}

QString HistoryStore::write()
{
    if (!writable)
        return {};
    QSaveFile file(filePath);
    if (file.open(QIODevice::WriteOnly) && file.write(toJson(data)) >= 0 && file.commit())
        return {};
    return u"历史记录保存失败: %1 (%2)"_s.arg(QDir::toNativeSeparators(filePath), file.errorString());
}

QString HistoryStore::recordSaved(const ClassState &state, const QDateTime &savedAt)
{
    HistoryRound round = roundFromPlan(state, state.currentGrouping, savedAt);
    // A blank chart teaches nothing about who sat with whom.
    if (round.pupilCount() == 0)
        return {};
    currentRound = data.record(std::move(round), currentRound);
    return write();
}

QString HistoryStore::removeRound(int id)
{
    if (!data.remove(id))
        return {};
    return write();
}

QString HistoryStore::clear()
{
    data.rounds.clear();
    currentRound = 0;
    return write();
}

QString HistoryStore::setSettings(const HistorySettings &settings)
{
    data.settings = settings;
    return write();
}

} // namespace Velmora
