#include "appdirectory.h"
#include "configstore.h"
#include "desktop.h"
#include "hostcheck.h"
#include "scripteddialogs.h"
#include "seatingexporter.h"
#include "testenvironment.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

// The shipped templates filled by the built-in engine with the sample class, read back by
// openpyxl and opened by LibreOffice.
class BuiltinExportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sampleClass_everyNameAtItsSeat_data();
    void sampleClass_everyNameAtItsSeat();
    void libreOffice_opensTheChart();
    void awkwardPaths_savedOpenedAndLogged_data();
    void awkwardPaths_savedOpenedAndLogged();

private:
    ClassState sampleClass(const QString &appDir) const;
    QString exportChart(ClassState &state, const QString &appDir, QStringList *plain);
    void deferChartCheck(const ClassState &state, const QString &output);
};

ClassState BuiltinExportTest::sampleClass(const QString &appDir) const
{
    const QString source = Test::sourceDirectory();
    for (const QString &name : {u"座位样式1.xlsx"_s, u"座位样式2.xlsx"_s})
        QFile::copy(source + u"/templates/"_s + name, appDir + u"/"_s + name);
    QFile::copy(source + u"/examples/sample-class/config.ini"_s, appDir + u"/config.ini"_s);
    ClassState state;
    ConfigStore::loadConfiguration(state);
    // Round robin over nine groups: 48 persons give three groups of six and six of five, so the
    // sixth seat of the later groups has to come out empty.
    state.currentGrouping = Grouping(9);
    const int persons = state.roster.maleCount() + state.roster.femaleCount();
    for (int p = 1; p <= persons; ++p)
        state.currentGrouping[(p - 1) % 9].append(p);
    return state;
}

QString BuiltinExportTest::exportChart(ClassState &state, const QString &appDir, QStringList *plain)
{
    Test::ScriptedDialogs dialogs;
    setFileOpener([](const QString &) {});
    const QString output = appDir + u"/chart.xlsx"_s;
    SeatingExporter exporter(state, nullptr,
                             {[plain](const QString &l) { *plain << l; }, [](const QString &) {}}, nullptr);
    exporter.exportToFile(output);
    setFileOpener({});
    if (!dialogs.calls.isEmpty())
        qWarning() << dialogs.transcript();
    return dialogs.calls.isEmpty() ? output : QString();
}

void BuiltinExportTest::sampleClass_everyNameAtItsSeat_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("templateName");
    QTest::newRow("style1_filled") << u"样式1"_s << u"座位样式1.xlsx"_s;
    QTest::newRow("style2_filled") << u"样式2"_s << u"座位样式2.xlsx"_s;
}

void BuiltinExportTest::sampleClass_everyNameAtItsSeat()
{
    QFETCH(QString, style);
    QFETCH(QString, templateName);

    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    state.currentStyle = style;
    QStringList plain;
    const QString output = exportChart(state, appDir, &plain);
    QVERIFY(!output.isEmpty());
    QCOMPARE(plain, QStringList{u"使用内置表格引擎"_s});
    QCOMPARE(state.templatePath, appDir + u"/"_s + templateName);
    if (!Test::hostProgramsRunHere()) {
        deferChartCheck(state, output);
        return;
    }

    QProcess reader;
    reader.start(u"/usr/bin/python3"_s,
                 {Test::sourceDirectory() + u"/tests/export/readchart.py"_s, state.templatePath, output});
    QVERIFY(reader.waitForFinished(60000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QJsonArray cells = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    QCOMPARE(cells.size(), 55);

    const QString today = QDate::currentDate().toString(u"yyyy.MM.dd"_s);
    int named = 0;
    for (const QJsonValue &entry : cells) {
        const QJsonObject cell = entry.toObject();
        const QString marker = cell[u"marker"_s].toString();
        const QString value = cell[u"value"_s].toString();
        if (marker.contains(u"XXXX.XX.XX"_s)) {
            QCOMPARE(value, today);
            continue;
        }
        const int group = marker.section(u'-', 0, 0).toInt();
        const int seat = marker.section(u'-', 1, 1).toInt();
        const QList<int> &members = state.currentGrouping.at(group - 1);
        if (seat > members.size()) {
            QVERIFY2(value.isEmpty(), qPrintable(marker));
            continue;
        }
        const QString name = state.roster.nameOf(members.at(seat - 1));
        QCOMPARE(value, name);
        QCOMPARE(cell[u"size"_s].toDouble(), 16.0);
        QVERIFY(cell[u"centre"_s].toBool());
        QVERIFY(cell[u"wrap"_s].toBool());
        QCOMPARE(cell[u"bold"_s].toBool(), state.roster.leaderNames.contains(name));
        QCOMPARE(cell[u"fill"_s].toString() == u"FFFFFF00"_s, state.roster.boarderNames.contains(name));
        ++named;
    }
    QCOMPARE(named, 48);
}

void BuiltinExportTest::libreOffice_opensTheChart()
{
    if (Test::hostProgramsRunHere() && !QFile::exists(u"/usr/bin/soffice"_s))
        QSKIP("LibreOffice is not installed");
    const QString appDir = Test::freshApplicationDirectory();
    ClassState state = sampleClass(appDir);
    QStringList plain;
    const QString output = exportChart(state, appDir, &plain);
    QVERIFY(!output.isEmpty());
    if (!Test::hostProgramsRunHere()) {
        QJsonArray names;
        for (const QList<int> &group : std::as_const(state.currentGrouping))
            for (int person : group)
                names.append(state.roster.nameOf(person));
        names.append(QDate::currentDate().toString(u"yyyy.MM.dd"_s));
        const QString kept = Test::keepForHost(output);
        const QString outDir = QFileInfo(kept).absolutePath();
        Test::deferToHost({QJsonObject{{u"soffice"_s, QJsonArray{kept}}, {u"outdir"_s, outDir}},
                           QJsonObject{{u"csv"_s, Test::csvBeside(kept)},
                                       {u"contains"_s, names},
                                       {u"absent"_s, QJsonArray{u"XXXX.XX.XX"_s}}}});
        return;
    }

    QTemporaryDir profile;
    QTemporaryDir outDir;
    QProcess office;
    office.start(u"/usr/bin/soffice"_s,
                 {u"-env:UserInstallation=file://"_s + profile.path(), u"--headless"_s, u"--convert-to"_s,
                  u"csv:Text - txt - csv (StarCalc):44,34,76"_s, u"--outdir"_s, outDir.path(), output});
    QVERIFY(office.waitForFinished(180000));
    QFile csv(outDir.path() + u"/chart.csv"_s);
    QVERIFY2(csv.open(QIODevice::ReadOnly), office.readAllStandardError().constData());
    const QString text = QString::fromUtf8(csv.readAll());
    QVERIFY(text.contains(QDate::currentDate().toString(u"yyyy.MM.dd"_s)));
    for (const QList<int> &group : std::as_const(state.currentGrouping))
        for (int person : group)
            QVERIFY2(text.contains(state.roster.nameOf(person)), qPrintable(state.roster.nameOf(person)));
    QVERIFY(!text.contains(u"XXXX.XX.XX"_s));
}

// The same expectations as above, handed to the host as readchart.py entries.
void BuiltinExportTest::deferChartCheck(const ClassState &state, const QString &output)
{
    QJsonArray items{QJsonObject{{u"marker"_s, u"XXXX.XX.XX"_s},
                                 {u"value"_s, QDate::currentDate().toString(u"yyyy.MM.dd"_s)}}};
    for (int group = 1; group <= 9; ++group) {
        const QList<int> &members = state.currentGrouping.at(group - 1);
        for (int seat = 1; seat <= 6; ++seat) {
            QJsonObject item{{u"marker"_s, u"%1-%2"_s.arg(group).arg(seat)}, {u"value"_s, QString()}};
            if (seat <= members.size()) {
                const QString name = state.roster.nameOf(members.at(seat - 1));
                item = QJsonObject{
                    {u"marker"_s, item[u"marker"_s]},
                    {u"value"_s, name},
                    {u"size"_s, 16.0},
                    {u"centre"_s, true},
                    {u"wrap"_s, true},
                    {u"bold"_s, state.roster.leaderNames.contains(name)},
                    {u"fill"_s, state.roster.boarderNames.contains(name) ? u"FFFFFF00"_s : QString()}};
            }
            items.append(item);
        }
    }
    const QString script = Test::sourceDirectory() + u"/tests/export/readchart.py"_s;
    Test::deferToHost(
        {QJsonObject{{u"run"_s, QJsonArray{u"python3"_s, script, Test::keepForHost(state.templatePath),
                                           Test::keepForHost(output)}},
                     {u"expect"_s, QJsonObject{{u"key"_s, u"marker"_s}, {u"items"_s, items}}}}});
}

// Where teachers keep their files: folders with Chinese names and spaces, and on Windows paths
// written with backslashes. The template is found, the chart is saved, the desktop gets a path it
// can turn into a URL, and the log shows the name with native separators.
void BuiltinExportTest::awkwardPaths_savedOpenedAndLogged_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("backslashes");
    QTest::newRow("plainFolders_saved") << QString() << u"out/chart.xlsx"_s << false;
    QTest::newRow("chineseFolders_saved")
        << u"老师 的文件夹"_s << u"座位表 2025/三年级（2）班.xlsx"_s << false;
    QTest::newRow("backslashes_saved") << u"座位"_s << u"导出/chart.xlsx"_s << true;
}

void BuiltinExportTest::awkwardPaths_savedOpenedAndLogged()
{
    QFETCH(QString, programFolder);
    QFETCH(QString, output);
    QFETCH(bool, backslashes);
    if (backslashes && QDir::separator() != u'\\')
        QSKIP("a backslash separates folders on Windows only");

    const QString appDir = QDir(Test::freshApplicationDirectory()).filePath(programFolder);
    QVERIFY(QDir().mkpath(appDir));
    setApplicationDirectoryOverride(appDir);
    ClassState state = sampleClass(appDir);
    const QString target = QDir(appDir).filePath(output);
    QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
    const QString given = backslashes ? QDir::toNativeSeparators(target) : target;

    Test::ScriptedDialogs dialogs;
    QStringList opened;
    setFileOpener([&opened](const QString &path) { opened << path; });
    QStringList stamped;
    SeatingExporter exporter(
        state, nullptr, {[](const QString &) {}, [&stamped](const QString &l) { stamped << l; }}, nullptr);
    exporter.exportToFile(given);
    setFileOpener({});

    QCOMPARE(dialogs.transcript(), QStringList());
    QVERIFY(QFileInfo(target).size() > 0);
    QCOMPARE(opened, QStringList{QFileInfo(target).absoluteFilePath()});
    QCOMPARE(QUrl::fromLocalFile(opened.first()).toLocalFile(), opened.first());
    QCOMPARE(stamped, QStringList{u"座位表已导出到: "_s + QDir::toNativeSeparators(target)});
}

QTEST_GUILESS_MAIN(BuiltinExportTest)
#include "builtinexport_test.moc"
