#include "classbuilder.h"
#include "groupingengine.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

QString fixtureDirectory()
{
    return Test::sourceDirectory() + u"/tests/fixtures/engine"_s;
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {u"<missing %1>"_s.arg(path)};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

void writeLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write((lines.join(u'\n') + u'\n').toUtf8());
}

QStringList describeResult(const ClassState &state, const Grouping &grouping)
{
    QStringList lines;
    for (int pos = 0; pos < grouping.size(); ++pos) {
        QStringList names;
        for (int p : grouping.at(pos))
            names.append(state.roster.idToName.value(p));
        lines.append(u"组%1: %2"_s.arg(pos + 1).arg(names.join(u' ')));
    }
    return lines;
}

// Line by line, so that a failure names the first line that differs.
void compareLines(const QStringList &actual, const QStringList &expected)
{
    for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
        if (actual.at(i) != expected.at(i)) {
            const QByteArray message = "line " + QByteArray::number(i + 1) +
                                       "\n  actual:   " + actual.at(i).toUtf8() +
                                       "\n  expected: " + expected.at(i).toUtf8();
            QFAIL(message.constData());
        }
    }
    QCOMPARE(actual.size(), expected.size());
}

} // namespace

class TestPipelineGolden : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scenario_data();
    void scenario();
};

void TestPipelineGolden::scenario_data()
{
    QTest::addColumn<QString>("folder");
    const QDir root(fixtureDirectory());
    const QStringList folders = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QVERIFY(!folders.isEmpty());
    for (const QString &name : folders)
        QTest::newRow(name.toUtf8().constData()) << root.filePath(name);
}

// Each folder holds scenario.json (the class and the seed), expected.log (every line of the run)
// and expected-result.txt (the returned grouping by name). VELMORA_UPDATE_GOLDEN=1 rewrites the
// expectations; review the diff before committing it.
void TestPipelineGolden::scenario()
{
    QFETCH(QString, folder);
    QFile file(folder + u"/scenario.json"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    QVERIFY(!json.isEmpty());
    const ClassState state = Test::classFromJson(json);

    QStringList log;
    QStringList warnings;
    GroupingEngine engine(
        state, [&](const QString &line) { log.append(line); },
        [&](const QString &text) { warnings.append(text); },
        seedSequence(std::uint32_t(json.value(u"seed"_s).toInt())));
    const SeatingPlan plan = engine.run();
    const QStringList result = describeResult(state, plan.members());
    QVERIFY(warnings.isEmpty());

    if (qEnvironmentVariableIntValue("VELMORA_UPDATE_GOLDEN") == 1) {
        writeLines(folder + u"/expected.log"_s, log);
        writeLines(folder + u"/expected-result.txt"_s, result);
    }
    compareLines(log, readLines(folder + u"/expected.log"_s));
    compareLines(result, readLines(folder + u"/expected-result.txt"_s));
}

QTEST_GUILESS_MAIN(TestPipelineGolden)
#include "tst_pipelinegolden.moc"
