#include "hostcheck.h"
#include "testenvironment.h"
#include "xlsxdocument.h"
#include "xlsxtestpackage.h"
#include "xlsxxml.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::Test;

namespace {

const QString python = u"/usr/bin/python3"_s;

struct Written
{
    QString text;
    bool formatted = false;
    bool bold = false;
    bool fill = false;
};

struct Result
{
    QString name;
    QString path;
    QMap<QString, Written> cells;
    QMap<QString, QString> untouched; // the template's text of every other non-empty cell
};

// 48 pupils in 9 groups: six groups of six, three of four.
QString pupil(int group, int seat)
{
    static const QStringList names = {
        u"张三"_s, u"李四"_s,       u"王五"_s,           u"赵六"_s,   u"孙七"_s,   u"周八"_s,     u"吴九"_s,
        u"郑十"_s, u"欧阳\n娜娜"_s, u"O'Brien & <Co>"_s, u"司马光"_s, u"诸葛亮"_s, u"上官婉儿"_s, u"陈一"_s,
        u"林二"_s, u"黄三"_s,       u"何四"_s,           u"高五"_s,   u"罗六"_s,   u"梁七"_s,     u"宋八"_s,
        u"唐九"_s, u"许十"_s,       u"韩梅梅"_s,         u"冯一"_s,   u"邓二"_s,   u"曹三"_s,     u"彭四"_s,
        u"曾五"_s, u"肖六"_s,       u"田七"_s,           u"董八"_s,   u"袁九"_s,   u"潘十"_s,     u"于一"_s,
        u"蒋二"_s, u"蔡三"_s,       u"余四"_s,           u"杜五"_s,   u"叶六"_s,   u"程七"_s,     u"苏八"_s,
        u"魏九"_s, u"吕十"_s,       u"丁一"_s,           u"任二"_s,   u"沈三"_s,   u"姚四"_s};
    const int seats = group <= 6 ? 6 : 4;
    if (group < 1 || group > 9 || seat < 1 || seat > seats)
        return {};
    const int index = (group <= 6 ? (group - 1) * 6 : 36 + (group - 7) * 4) + seat - 1;
    return names.at(index);
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

bool run(const QString &program, const QStringList &arguments, int timeoutMs, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        *output = program + u": "_s + process.errorString();
        return false;
    }
    const bool finished = process.waitForFinished(timeoutMs);
    *output = QString::fromUtf8(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished();
        *output += u"\n(timed out)"_s;
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
        } else if (c != u'\r') {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

} // namespace

class XlsxRoundTripTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fillTemplate_data();
    void fillTemplate();
    void libreOfficeReadsEveryResult();
    void withoutStyleSheet_readersSeeTheFormats();

private:
    void deferLibreOfficeCheck();

    QTemporaryDir work;
    QList<Result> results;
};

void XlsxRoundTripTest::initTestCase()
{
    QVERIFY(work.isValid());
    if (!hostProgramsRunHere())
        return;
    QString output;
    QVERIFY2(run(python, {u"-c"_s, u"import openpyxl"_s}, 60000, &output),
             qPrintable(u"python3-openpyxl is required (scripts/install-deps installs it): "_s + output));
    QVERIFY2(!QStandardPaths::findExecutable(u"soffice"_s).isEmpty(),
             "soffice is required (scripts/install-deps installs libreoffice-calc)");
    QVERIFY2(!QStandardPaths::findExecutable(u"xmllint"_s).isEmpty(),
             "xmllint is required (scripts/install-deps installs libxml2-utils)");
}

void XlsxRoundTripTest::fillTemplate_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("handmadePrefixedRichFormula_roundTrips") << u"seating-handmade.xlsx"_s;
    QTest::newRow("openpyxlTemplate_roundTrips") << u"seating-openpyxl.xlsx"_s;
    QTest::newRow("libreofficeTemplate_roundTrips") << u"seating-libreoffice.xlsx"_s;
}

void XlsxRoundTripTest::fillTemplate()
{
    QFETCH(QString, file);
    const QString source = sourceDirectory() + u"/tests/fixtures/xlsx/templates/"_s + file;
    const QString templatePath = work.filePath(file);
    QFile::remove(templatePath);
    QVERIFY(QFile::copy(source, templatePath));
    const QByteArray templateHash = fileHash(templatePath);
    const QString outputPath = work.filePath(u"filled-"_s + file);

    XlsxDocument document;
    QVERIFY2(document.open(templatePath), qPrintable(document.errorString()));
    const XlsxRange range = document.usedRange();
    QVERIFY(range.rowCount >= 9 && range.columnCount >= 9);

    Result result{file, outputPath, {}, {}};
    static const QRegularExpression seat(u"^(\\d+)-(\\d+)$"_s);
    int seats = 0;
    for (int row = range.firstRow; row < range.firstRow + range.rowCount; ++row) {
        for (int column = range.firstColumn; column < range.firstColumn + range.columnCount; ++column) {
            const QString text = document.cellText(row, column);
            const QString ref = XlsxXml::cellReference(row, column);
            if (text.contains(u"XXXX.XX.XX")) {
                document.setCellText(row, column, u"2025.10.07"_s);
                result.cells.insert(ref, {u"2025.10.07"_s});
                continue;
            }
            const auto match = seat.match(text);
            if (!match.hasMatch()) {
                if (!text.isEmpty())
                    result.untouched.insert(ref, text);
                continue;
            }
            const int group = match.captured(1).toInt();
            const int place = match.captured(2).toInt();
            const QString name = pupil(group, place);
            document.setCellText(row, column, name);
            Written written{name};
            if (!name.isEmpty()) {
                ++seats;
                XlsxCellFormat format;
                format.centre = format.wrap = true;
                format.fontSize = 16;
                format.bold = place == 1;
                format.fill = place % 2 == 0;
                document.setCellFormat(row, column, format);
                written = {name, true, format.bold, format.fill};
            }
            result.cells.insert(ref, written);
        }
    }
    QCOMPARE(seats, file == u"seating-handmade.xlsx" ? 47 : 48);
    // A cell the template does not have, in a row it does not have either.
    const int extraRow = range.firstRow + range.rowCount + 1;
    XlsxCellFormat boarder;
    boarder.centre = boarder.wrap = boarder.fill = true;
    boarder.fontSize = 16;
    document.setCellText(extraRow, 2, u"补位"_s);
    document.setCellFormat(extraRow, 2, boarder);
    result.cells.insert(XlsxXml::cellReference(extraRow, 2), {u"补位"_s, true, false, true});
    if (file == u"seating-handmade.xlsx") {
        // 5-2 is missing from this template's row 5; write it anyway.
        document.setCellText(5, 5, pupil(5, 2));
        document.setCellFormat(5, 5, boarder);
        result.cells.insert(u"E5"_s, {pupil(5, 2), true, false, true});
    }
    QVERIFY2(document.saveAs(outputPath), qPrintable(document.errorString()));
    QCOMPARE(fileHash(templatePath), templateHash);

    // Every part but the sheet and the styles is the template's, byte for byte.
    const QMap<QString, QByteArray> before = unzipFile(templatePath);
    const QMap<QString, QByteArray> after = unzipFile(outputPath);
    const bool formulaReplaced = file == u"seating-handmade.xlsx";
    QStringList changed;
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        if (formulaReplaced && it.key() == u"xl/calcChain.xml") {
            QVERIFY(!after.contains(it.key()));
            continue;
        }
        QVERIFY2(after.contains(it.key()), qPrintable(it.key()));
        if (after.value(it.key()) != it.value())
            changed << it.key();
    }
    QCOMPARE(after.size(), before.size() - (formulaReplaced ? 1 : 0));
    QStringList expectedChanged{u"xl/styles.xml"_s, u"xl/worksheets/sheet1.xml"_s};
    if (formulaReplaced)
        expectedChanged << u"[Content_Types].xml"_s << u"xl/_rels/workbook.xml.rels"_s;
    std::sort(changed.begin(), changed.end());
    std::sort(expectedChanged.begin(), expectedChanged.end());
    QCOMPARE(changed, expectedChanged);

    QStringList parts;
    for (const QString &name : std::as_const(changed)) {
        const QString path = work.filePath(u"part-"_s + QString(name).replace(u'/', u'_'));
        QFile part(path);
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write(after.value(name));
        parts << path;
    }
    QString output;
    QJsonArray hostSteps;
    if (hostProgramsRunHere()) {
        QVERIFY2(run(u"xmllint"_s, QStringList{u"--noout"_s} + parts, 60000, &output), qPrintable(output));
    } else {
        QJsonArray xmllint{u"xmllint"_s, u"--noout"_s};
        for (const QString &part : std::as_const(parts))
            xmllint.append(keepForHost(part));
        hostSteps.append(QJsonObject{{u"run"_s, xmllint}});
    }

    QJsonObject cells;
    for (auto it = result.cells.constBegin(); it != result.cells.constEnd(); ++it)
        cells.insert(it.key(), QJsonObject{{u"text"_s, it->text},
                                           {u"formatted"_s, it->formatted},
                                           {u"bold"_s, it->bold},
                                           {u"fill"_s, it->fill}});
    const QString expectations = work.filePath(file + u".json"_s);
    QFile json(expectations);
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(QJsonDocument(QJsonObject{{u"cells"_s, cells}}).toJson());
    json.close();
    const QString checker = sourceDirectory() + u"/tests/xlsx/check_openpyxl.py"_s;
    if (hostProgramsRunHere()) {
        QVERIFY2(run(python, {checker, templatePath, outputPath, expectations}, 120000, &output),
                 qPrintable(output));
    } else {
        hostSteps.append(
            QJsonObject{{u"run"_s, QJsonArray{u"python3"_s, checker, keepForHost(templatePath),
                                              keepForHost(outputPath), keepForHost(expectations)}}});
        deferToHost(hostSteps);
    }

    XlsxDocument reread;
    QVERIFY2(reread.open(outputPath), qPrintable(reread.errorString()));
    for (auto it = result.cells.constBegin(); it != result.cells.constEnd(); ++it) {
        int row = 0;
        int column = 0;
        QVERIFY(XlsxXml::parseCellReference(it.key(), &row, &column));
        QCOMPARE(reread.cellText(row, column), it->text);
    }
    results.append(result);
}

void XlsxRoundTripTest::libreOfficeReadsEveryResult()
{
    QCOMPARE(results.size(), 3);
    if (!hostProgramsRunHere()) {
        deferLibreOfficeCheck();
        return;
    }
    // One soffice start for all three; each start costs seconds.
    QTemporaryDir profile;
    const QString outDir = work.filePath(u"csv"_s);
    QStringList arguments{u"-env:UserInstallation="_s + QUrl::fromLocalFile(profile.path()).toString(),
                          u"--headless"_s,
                          u"--convert-to"_s,
                          u"csv:Text - txt - csv (StarCalc):44,34,76"_s,
                          u"--outdir"_s,
                          outDir};
    for (const Result &result : std::as_const(results))
        arguments << result.path;
    QString output;
    QVERIFY2(run(u"soffice"_s, arguments, 240000, &output), qPrintable(output));
    for (const Result &result : std::as_const(results)) {
        QFile csv(QDir(outDir).filePath(QFileInfo(result.path).completeBaseName() + u".csv"_s));
        QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(csv.fileName() + u"\n"_s + output));
        const QList<QStringList> rows = parseCsv(QString::fromUtf8(csv.readAll()));
        for (auto it = result.cells.constBegin(); it != result.cells.constEnd(); ++it) {
            int row = 0;
            int column = 0;
            QVERIFY(XlsxXml::parseCellReference(it.key(), &row, &column));
            const QString seen = row <= rows.size() && column <= rows.at(row - 1).size()
                                     ? rows.at(row - 1).at(column - 1)
                                     : QString();
            QVERIFY2(seen == it->text, qPrintable(result.name + u' ' + it.key() + u": "_s + seen));
        }
        QVERIFY(result.untouched.size() >= 3);
        for (auto it = result.untouched.constBegin(); it != result.untouched.constEnd(); ++it) {
            int row = 0;
            int column = 0;
            QVERIFY(XlsxXml::parseCellReference(it.key(), &row, &column));
            const QString seen = row <= rows.size() && column <= rows.at(row - 1).size()
                                     ? rows.at(row - 1).at(column - 1)
                                     : QString();
            QVERIFY2(seen == *it,
                     qPrintable(result.name + u' ' + it.key() + u": "_s + seen + u" != "_s + *it));
        }
    }
}

// The same reading as above, by LibreOffice on the host.
void XlsxRoundTripTest::deferLibreOfficeCheck()
{
    QJsonArray files;
    QJsonArray steps;
    for (const Result &result : std::as_const(results)) {
        const QString kept = keepForHost(result.path);
        QJsonObject cells;
        for (auto it = result.cells.constBegin(); it != result.cells.constEnd(); ++it)
            cells.insert(it.key(), it->text);
        for (auto it = result.untouched.constBegin(); it != result.untouched.constEnd(); ++it)
            cells.insert(it.key(), *it);
        files.append(kept);
        steps.append(QJsonObject{{u"csv"_s, csvBeside(kept)}, {u"cells"_s, cells}});
    }
    steps.prepend(QJsonObject{{u"soffice"_s, files},
                              {u"outdir"_s, QFileInfo(files.first().toString()).absolutePath()}});
    deferToHost(steps);
}

// Workbooks without a usable style sheet are valid; the one the engine adds must satisfy both readers.
void XlsxRoundTripTest::withoutStyleSheet_readersSeeTheFormats()
{
    const QString stylesRel = u"<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/"
                              u"officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"_s;
    const Parts plain = workbookParts(u"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"_s, {u"1-1"_s});
    Parts dangling = plain;
    dangling.removeIf([](const auto &part) { return part.first == u"xl/styles.xml"_s; });
    Parts noStyles = dangling;
    Parts noCellXfs = plain;
    static const QRegularExpression cellXfs(u"<cellXfs.*</cellXfs>"_s);
    for (auto &part : noStyles) {
        if (part.first == u"xl/_rels/workbook.xml.rels"_s)
            part.second = QString::fromUtf8(part.second).remove(stylesRel).toUtf8();
    }
    for (auto &part : noCellXfs) {
        if (part.first == u"xl/styles.xml"_s)
            part.second = QString::fromUtf8(part.second).remove(cellXfs).toUtf8();
    }
    QStringList outputs;
    for (const auto &[name, parts] : {std::pair{u"dangling"_s, dangling}, std::pair{u"nostyles"_s, noStyles},
                                      std::pair{u"nocellxfs"_s, noCellXfs}}) {
        XlsxDocument document;
        QVERIFY2(document.openData(zipParts(parts)), qPrintable(document.errorString()));
        XlsxCellFormat format;
        format.centre = format.wrap = format.bold = format.fill = true;
        format.fontSize = 16;
        document.setCellText(1, 1, u"张三"_s);
        document.setCellFormat(1, 1, format);
        outputs << work.filePath(u"styles-"_s + name + u".xlsx"_s);
        QVERIFY2(document.saveAs(outputs.last()), qPrintable(document.errorString()));
    }
    if (!hostProgramsRunHere()) {
        // The same two readings on the host, with a script that checks instead of printing.
        QJsonArray check{
            u"python3"_s, u"-c"_s,
            u"import openpyxl, sys\n"
            u"for path in sys.argv[1:]:\n"
            u"    c = openpyxl.load_workbook(path).worksheets[0]['A1']\n"
            u"    seen = (c.value, bool(c.font.b), c.font.sz, c.fill.fgColor.rgb, c.alignment.horizontal)\n"
            u"    assert seen == ('张三', True, 16.0, 'FFFFFF00', 'center'), (path, seen)\n"_s};
        QJsonArray kept;
        for (const QString &path : std::as_const(outputs))
            kept.append(keepForHost(path));
        for (const QJsonValue &path : std::as_const(kept))
            check.append(path);
        QJsonArray steps{QJsonObject{{u"run"_s, check}},
                         QJsonObject{{u"soffice"_s, kept},
                                     {u"outdir"_s, QFileInfo(kept.first().toString()).absolutePath()}}};
        for (const QJsonValue &path : std::as_const(kept))
            steps.append(QJsonObject{{u"csv"_s, csvBeside(path.toString())},
                                     {u"cells"_s, QJsonObject{{u"A1"_s, u"张三"_s}}}});
        deferToHost(steps);
        return;
    }

    const QString script =
        u"import openpyxl, sys\n"
        u"for path in sys.argv[1:]:\n"
        u"    c = openpyxl.load_workbook(path).worksheets[0]['A1']\n"
        u"    print(c.value, c.font.b, c.font.sz, c.fill.fgColor.rgb, c.alignment.horizontal)\n"_s;
    QString output;
    QVERIFY2(run(python, QStringList{u"-c"_s, script} + outputs, 60000, &output), qPrintable(output));
    QCOMPARE(output.trimmed().split(u'\n').filter(u"张三 True 16.0 FFFFFF00 center"_s).size(), 3);

    QTemporaryDir profile;
    const QString outDir = work.filePath(u"styles-csv"_s);
    QVERIFY2(run(u"soffice"_s,
                 QStringList{u"-env:UserInstallation="_s + QUrl::fromLocalFile(profile.path()).toString(),
                             u"--headless"_s, u"--convert-to"_s,
                             u"csv:Text - txt - csv (StarCalc):44,34,76"_s, u"--outdir"_s, outDir} +
                     outputs,
                 240000, &output),
             qPrintable(output));
    for (const QString &path : std::as_const(outputs)) {
        QFile csv(QDir(outDir).filePath(QFileInfo(path).completeBaseName() + u".csv"_s));
        QVERIFY2(csv.open(QIODevice::ReadOnly), qPrintable(csv.fileName() + u"\n"_s + output));
        QCOMPARE(QString::fromUtf8(csv.readAll()).trimmed(), u"张三"_s);
    }
}

QTEST_GUILESS_MAIN(XlsxRoundTripTest)
#include "xlsxroundtrip_test.moc"
