#pragma once

#include "grouphistory.h"
#include "model.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace Velmora {

// history.json beside config.ini: every grouping the teacher saved as a chart, and the two
// history settings. The settings live here rather than in config.ini, whose keys are a fixed set
// written by other parts of the program; the history's own file keeps all it needs in one place.
//
// The history in memory is the truth; every change is written at once, atomically. A file that
// cannot be read is moved aside and reported, never overwritten.
class HistoryStore
{
public:
    // The data folder of either layout + "/history.json".
    static QString defaultPath();

    static QByteArray toJson(const GroupHistory &history);
    // std::nullopt when the text is not a history this program wrote. Only the newest MaxRounds
    // rounds are read, renumbered from 1; `dropped` receives how many older ones were skipped.
    static std::optional<GroupHistory> fromJson(const QByteArray &json, qsizetype *dropped = nullptr);

    // Larger files are set aside unread: a history this program writes stays far below it.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    explicit HistoryStore(QString path = defaultPath());

    // Reads the file; a missing one is an empty history. Returns one log line when the file was
    // damaged, too large, a folder or unreadable, else an empty string.
    QString load();
    // Reads the file unless it was read already. Returns the line of the load, once: a start reads
    // the file after the window is shown, and whatever needs the history first reads it then.
    QString ensureLoaded();
    const GroupHistory &history()
    {
        ensureLoaded();
        return data;
    }
    QString path() const { return filePath; }

    // "保存" and "另存为" call it with the grouping shown: the first save of a grouping adds a round,
    // later saves of the same grouping (hand adjustments included) update that round. Returns a
    // log line when the file could not be written, else an empty string.
    QString recordSaved(const ClassState &state, const QDateTime &savedAt);
    // Every command that replaces the grouping: the next save is a new round.
    void startNewGrouping()
    {
        ensureLoaded();
        currentRound = 0;
    }

    QString removeRound(int id);
    QString clear();
    QString setSettings(const HistorySettings &settings);

private:
    QString write();
    QString setAside(const QString &why);
    QString writeFailure() const;

    QString filePath;
    GroupHistory data;
    int currentRound = 0;
    // False while the file on the disk could not be read or moved aside: writing would destroy it.
    bool writable = true;
    bool loaded = false;
    QString loadLine; // not yet handed out by ensureLoaded()
    // Old rounds left out since the last write; the next write drops them from the file and says so.
    qsizetype droppedRounds = 0;
};

} // namespace Velmora
