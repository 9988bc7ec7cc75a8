#include "historystore.h"

#include "appdirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <utility>

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

std::optional<GroupHistory> HistoryStore::fromJson(const QByteArray &json, qsizetype *dropped)
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
    const QJsonArray rounds = root.value(u"rounds"_s).toArray();
    // Rounds that will be dropped anyway are neither converted nor judged.
    const qsizetype first = std::max<qsizetype>(0, rounds.size() - GroupHistory::MaxRounds);
    if (dropped)
        *dropped = first;
    for (qsizetype i = first; i < rounds.size(); ++i) {
        const QJsonObject object = rounds.at(i).toObject();
        HistoryRound round;
        round.savedAt = QDateTime::fromString(object.value(u"savedAt"_s).toString(), DateFormat);
        if (!round.savedAt.isValid() || !object.value(u"groups"_s).isArray())
            return std::nullopt;
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
    // An id is only a handle for "save the same grouping again"; the file's own may repeat or
    // sit at the end of the int range, where the next one would overflow.
    history.renumber();
    return history;
}

HistoryStore::HistoryStore(QString path) : filePath(std::move(path)) {}

QString HistoryStore::ensureLoaded()
{
    if (!loaded)
        loadLine = load();
    return std::exchange(loadLine, QString());
}

QString HistoryStore::load()
{
    loaded = true;
    loadLine.clear();
    data = GroupHistory();
    currentRound = 0;
    writable = true;
    droppedRounds = 0;
    const QFileInfo info(filePath);
    if (!info.exists() && !info.isSymLink())
        return {};
    const QString shown = QDir::toNativeSeparators(filePath);
    if (info.isDir()) {
        writable = false;
        return u"历史记录文件 %1 是一个文件夹，无法读取；本次运行不记录历史"_s.arg(shown);
    }
    if (info.size() > MaxFileSize)
        return setAside(u"历史记录文件过大（超过 16 MB）"_s);
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        writable = false;
        return u"历史记录文件 %1 无法读取，本次运行不记录历史，文件保持原样"_s.arg(shown);
    }
    // A file that grew past the bound between the look and the read is still not read whole.
    const QByteArray json = file.read(MaxFileSize + 1);
    file.close();
    if (json.size() > MaxFileSize)
        return setAside(u"历史记录文件过大（超过 16 MB）"_s);
    if (const std::optional<GroupHistory> read = fromJson(json, &droppedRounds)) {
        data = *read;
        return {};
    }
    return setAside(u"历史记录文件已损坏"_s);
}

QString HistoryStore::setAside(const QString &why)
{
    const QString aside =
        filePath + u".damaged-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd_hhmmss"_s);
    if (QFile::rename(filePath, aside))
        return u"%1，已改名为 %2，历史记录重新开始"_s.arg(why, QDir::toNativeSeparators(aside));
    writable = false;
    return u"%1且无法改名: %2，本次运行不记录历史"_s.arg(why, QDir::toNativeSeparators(filePath));
}

QString HistoryStore::write()
{
    if (!writable)
        return {};
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(toJson(data)) < 0 || !file.commit())
        return writeFailure();
    if (droppedRounds == 0)
        return {};
    return u"历史记录最多保留 %1 次分组，已删除最早的 %2 次"_s.arg(GroupHistory::MaxRounds)
        .arg(std::exchange(droppedRounds, 0));
}

// Qt's own error texts are English; the teacher gets the reason in words of the program's own.
QString HistoryStore::writeFailure() const
{
    const QFileInfo info(filePath);
    const QString shown = QDir::toNativeSeparators(filePath);
    if (info.exists() && !info.isWritable())
        return u"历史记录保存失败：文件 %1 是只读的"_s.arg(shown);
    if (!QFileInfo(info.absolutePath()).isWritable())
        return u"历史记录保存失败：文件夹 %1 不能写入"_s.arg(QDir::toNativeSeparators(info.absolutePath()));
    return u"历史记录保存失败：无法写入 %1"_s.arg(shown);
}

QString HistoryStore::recordSaved(const ClassState &state, const QDateTime &savedAt)
{
    ensureLoaded();
    HistoryRound round = roundFromPlan(state, state.currentGrouping, savedAt);
    // A blank chart teaches nothing about who sat with whom.
    if (round.pupilCount() == 0)
        return {};
    currentRound = data.record(std::move(round), currentRound);
    droppedRounds += data.dropOldest();
    return write();
}

QString HistoryStore::removeRound(int id)
{
    ensureLoaded();
    if (!data.remove(id))
        return {};
    return write();
}

QString HistoryStore::clear()
{
    ensureLoaded();
    data.rounds.clear();
    currentRound = 0;
    droppedRounds = 0;
    return write();
}

QString HistoryStore::setSettings(const HistorySettings &settings)
{
    ensureLoaded();
    data.settings = settings;
    return write();
}

} // namespace Velmora
