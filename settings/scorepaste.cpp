#include "scorepaste.h"

#include "namelists.h"
#include "pupilscores.h"

#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora::ScorePaste {

namespace {

// A message box taller than the screen would hide its button.
constexpr int ListedNames = 20;
constexpr int ListedProblems = 20;

QStringList cellsOf(const QString &line)
{
    if (line.contains(u'\t'))
        return line.split(u'\t');
    // Typed or copied from a document: the score is the last word, a name may hold spaces.
    const QString trimmed = line.trimmed();
    qsizetype end = trimmed.size();
    while (end > 0 && !trimmed.at(end - 1).isSpace())
        --end;
    if (end == 0)
        return {trimmed};
    qsizetype start = end;
    while (start > 0 && trimmed.at(start - 1).isSpace())
        --start;
    return {trimmed.first(start), trimmed.sliced(end)};
}

QString cleanName(const QString &cell)
{
    return withoutInvisibles(cell).trimmed();
}

QString shownName(const QString &name)
{
    return name.size() > 20 ? name.first(20) + u'…' : name;
}

} // namespace

Result read(const QString &text, const QStringList &rosterNames)
{
    Result result;
    if (text.size() > MaxChars || text.count(u'\n') >= MaxRows) {
        result.refused = u"粘贴的内容过多（最多 %1 行），请只复制“姓名”和“成绩”两列"_s.arg(MaxRows);
        return result;
    }
    const QSet<QString> onRoster(rosterNames.cbegin(), rosterNames.cend());
    QSet<QString> unknown;
    QStringList lines = text.split(u'\n');
    for (QString &line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }

    int nameColumn = 0;
    int scoreColumn = 1;
    int first = 0;
    while (first < lines.size() && lines.at(first).trimmed().isEmpty())
        ++first;
    if (first < lines.size()) {
        const QStringList header = cellsOf(lines.at(first));
        const auto nameAt = std::find_if(header.cbegin(), header.cend(), [](const QString &cell) {
            return cleanName(cell).remove(u' ').remove(u'　') == u"姓名"_s;
        });
        if (nameAt != header.cend()) {
            nameColumn = int(nameAt - header.cbegin());
            const auto scoreAt = std::find_if(header.cbegin(), header.cend(), PupilScores::isScoreHeader);
            if (scoreAt != header.cend())
                scoreColumn = int(scoreAt - header.cbegin());
            else if (header.size() == 2)
                scoreColumn = 1 - nameColumn;
            else
                scoreColumn = -1;
            ++first;
        }
    }
    if (scoreColumn < 0) {
        result.refused = u"粘贴的内容中没有“成绩”列"_s;
        return result;
    }

    for (int at = first; at < lines.size(); ++at) {
        const QStringList cells = cellsOf(lines.at(at));
        const QString name = cleanName(cells.value(nameColumn));
        // A row cut short says nothing about the score; only an empty cell clears it.
        if (name.isEmpty() || cells.size() <= scoreColumn)
            continue;
        if (!onRoster.contains(name)) {
            if (!unknown.contains(name)) {
                unknown.insert(name);
                result.unknownNames.append(name);
            }
            continue;
        }
        const QString written = cells.value(scoreColumn);
        const PupilScores::Parsed score = PupilScores::parse(written);
        switch (score.status) {
        case PupilScores::Status::Valid:
            result.filled.append({name, score.hundredths});
            break;
        case PupilScores::Status::Empty:
            result.filled.append({name, -1});
            break;
        default:
            result.problems.append(PupilScores::problemText(at + 1, score, written));
        }
    }
    if (result.filled.isEmpty() && result.unknownNames.isEmpty() && result.problems.isEmpty())
        result.refused = u"粘贴的内容中没有姓名和成绩，请从表格中复制“姓名”和“成绩”两列"_s;
    return result;
}

QString message(const Result &result)
{
    QStringList parts;
    if (!result.unknownNames.isEmpty()) {
        QStringList names;
        for (qsizetype i = 0; i < result.unknownNames.size() && i < ListedNames; ++i)
            names.append(shownName(result.unknownNames.at(i)));
        QString line = names.join(u'、');
        if (result.unknownNames.size() > ListedNames)
            line += u"……另有 %1 人"_s.arg(result.unknownNames.size() - ListedNames);
        parts.append(u"以下 %1 人不在名单中，成绩没有填入：\n"_s.arg(result.unknownNames.size()) + line);
    }
    if (!result.problems.isEmpty()) {
        QStringList lines = result.problems.mid(0, ListedProblems);
        if (result.problems.size() > ListedProblems)
            lines.append(u"……另有 %1 行"_s.arg(result.problems.size() - ListedProblems));
        parts.append(lines.join(u'\n'));
    }
    if (parts.isEmpty())
        return {};
    QSet<QString> filled;
    for (const auto &entry : result.filled)
        filled.insert(entry.first);
    return u"已填入 %1 人的成绩。\n\n"_s.arg(filled.size()) + parts.join(u"\n\n"_s);
}

} // namespace Velmora::ScorePaste
