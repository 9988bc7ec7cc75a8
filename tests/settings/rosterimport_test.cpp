#include "importfolder.h"
#include "localstate.h"
#include "rosterimport.h"
#include "xlsxtestpackage.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::RosterImport;

namespace {

QString sheetDataOf(const QMap<int, QStringList> &rows)
{
    QString data;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        data += u"<row r=\"%1\">"_s.arg(it.key());
        for (int column = 0; column < it->size(); ++column) {
            if (!it->at(column).isEmpty())
                data += u"<c r=\"%1%2\" t=\"inlineStr\"><is><t>%3</t></is></c>"_s.arg(QChar(u'A' + column))
                            .arg(it.key())
                            .arg(it->at(column));
        }
        data += u"</row>"_s;
    }
    return data;
}

QByteArray xlsxOf(const QMap<int, QStringList> &rows)
{
    return Test::zipParts(Test::workbookParts(sheetDataOf(rows)));
}

// The first sheet, 旧名单, hidden; the second, 名单, holds `rows` and hides column C.
QByteArray hiddenSheetXlsx(const QMap<int, QStringList> &rows)
{
    Test::Parts parts =
        Test::workbookParts(sheetDataOf({{1, {u"姓名"_s, u"性别"_s}}, {2, {u"旧生"_s, u"男"_s}}}));
    parts[2].second.replace("<sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>",
                            "<sheet name=\"旧名单\" sheetId=\"1\" state=\"hidden\" r:id=\"rId1\"/>"
                            "<sheet name=\"名单\" sheetId=\"2\" r:id=\"rX\"/>");
    parts[3].second.replace("</Relationships>",
                            "<Relationship Id=\"rX\" Type=\"http://schemas.openxmlformats.org/"
                            "officeDocument/2006/relationships/worksheet\" "
                            "Target=\"worksheets/s2.xml\"/></Relationships>");
    const QString cols = u"<cols><col min=\"3\" max=\"3\" hidden=\"1\"/></cols><sheetData>"_s;
    parts.append({u"xl/worksheets/s2.xml"_s,
                  Test::worksheetXml(sheetDataOf(rows)).replace(u"<sheetData>"_s, cols).toUtf8()});
    return Test::zipParts(parts);
}

SheetTable readBytes(const QByteArray &bytes, const QString &fileName)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    file.close();
    const SheetReadResult read = SheetReader::readFile(file.fileName());
    if (!read.ok())
        qWarning("%s", qUtf8Printable(read.error));
    return read.table;
}

// "boys | girls | leaders | boarders", names in list order.
QString listsText(const RosterLists &lists)
{
    return QStringList{lists.maleNames.join(u' '), lists.femaleNames.join(u' '), lists.leaderNames.join(u' '),
                       lists.boarderNames.join(u' ')}
        .join(u" | "_s);
}

QStringList problemLines(const QList<Problem> &problems)
{
    QStringList lines;
    for (const Problem &problem : problems)
        lines.append(problem.text);
    return lines;
}

} // namespace

class RosterImportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readFile_data();
    void readFile();
    void apply_data();
    void apply();
    void classList_data();
    void classList();
    void importFolder_data();
    void importFolder();
    void scores_data();
    void scores();
};

void RosterImportTest::readFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("lists");
    QTest::addColumn<QStringList>("problems");

    // Encodings and line ends
    QTest::newRow("utf8NoBom_read") << u"学号,姓名,性别\n1,张伟,男\n2,李娜,女\n"_s.toUtf8() << u"a.csv"_s
                                    << u"张伟 | 李娜 |  | "_s << QStringList();
    QTest::newRow("utf8BomCrlf_read")
        << QByteArray("\xEF\xBB\xBF") + u"姓名,性别\r\n张伟,M\r\n李娜,f\r\n"_s.toUtf8() << u"a.csv"_s
        << u"张伟 | 李娜 |  | "_s << QStringList();
    QTest::newRow("gbkWithoutBom_read")
        << QByteArray(
               "\xD1\xA7\xBA\xC5,\xD0\xD5\xC3\xFB,\xD0\xD4\xB1\xF0,\xD6\xB0\xCE\xF1,\xD7\xA1\xCB\xDE\r\n"
               "1,\xD5\xC5\xCE\xB0,\xC4\xD0,\xD7\xE9\xB3\xA4,\xCD\xE2\xCB\xDE\r\n"
               "2,\xC0\xEE\xC4\xC8,\xC5\xAE,,\xD7\xA1\xD0\xA3\r\n")
        << u"a.csv"_s << u"张伟 | 李娜 | 张伟 | 张伟"_s << QStringList();
    QTest::newRow("tabSeparated_read")
        << u"姓名\t性别\n张伟\t男\n"_s.toUtf8() << u"a.txt"_s << u"张伟 |  |  | "_s << QStringList();

    // Where the header is and what its columns mean
    QTest::newRow("headerOnRow3_numbersFromFile")
        << u"高一(3)班名单\n\n姓 名,性别\n张伟,男\n李娜,不详\n"_s.toUtf8() << u"a.csv"_s << u"张伟 |  |  | "_s
        << QStringList{u"第 5 行：“李娜”的性别“不详”不是男或女"_s};
    QTest::newRow("waisuColumn_yesValues")
        << u"姓名,性别,外宿\n张伟,男,√\n李娜,女,否\n王强,男,true\n"_s.toUtf8() << u"a.csv"_s
        << u"张伟 王强 | 李娜 |  | 张伟 王强"_s << QStringList();
    QTest::newRow("zhusuColumn_onlyWaisu")
        << u"姓名,性别,住宿情况\n张伟,男,住校\n李娜,女,走读\n王强,男,外宿\n赵敏,女,是\n"_s.toUtf8()
        << u"a.csv"_s << u"张伟 王强 | 李娜 赵敏 |  | 王强"_s << QStringList();
    QTest::newRow("loneZhuxiaoColumn_notMapped")
        << u"姓名,性别,住校\n张伟,男,是\n"_s.toUtf8() << u"a.csv"_s << u"张伟 |  |  | "_s << QStringList();
    QTest::newRow("dutyColumn_leadersButNotDeputies")
        << u"姓名,性别,班级职务\n张伟,男,第二组组长\n李娜,女,副组长\n王强,男,班长\n"_s.toUtf8() << u"a.csv"_s
        << u"张伟 王强 | 李娜 | 张伟 | "_s << QStringList();

    // Refused rows
    QTest::newRow("duplicatesWithPercent_laterRowRefused")
        << u"姓名,性别\n%3强,男\n李娜,女\n%3强,男\n"_s.toUtf8() << u"a.csv"_s << u"%3强 | 李娜 |  | "_s
        << QStringList{u"第 4 行：“%3强”与第 2 行重名"_s};
    QTest::newRow("badGenders_refused")
        << u"姓名,性别\n张伟,男生?\n李娜,\n,女\n"_s.toUtf8() << u"a.csv"_s << u" |  |  | "_s
        << QStringList{u"第 2 行：“张伟”的性别“男生?”不是男或女"_s, u"第 3 行：“李娜”没有填写性别"_s,
                       u"第 4 行：姓名为空"_s};
    QTest::newRow("quotedFields_commaRefusedBreakKept")
        << u"姓名,性别,备注\n\"张,伟\",男,\"说 \"\"好\"\"\n两行\"\n\"李娜\",女,\n\"王\n强\",男\n"_s.toUtf8()
        << u"a.csv"_s << u" | 李娜 |  | "_s
        << QStringList{u"第 2 行：姓名“张,伟”包含逗号或分号"_s, u"第 4 行：姓名“王 强”中有换行"_s};

    // The built-in engine reads workbooks, with the sheet's own row numbers
    QTest::newRow("xlsx_rowNumbersFromSheet")
        << xlsxOf({{1, {u"三班"_s}},
                   {3, {u"学号"_s, u"姓名"_s, u"性别"_s, u"组长"_s}},
                   {4, {u"1"_s, u"张伟"_s, u"男"_s, u"是"_s}},
                   {7, {u"2"_s, u"李娜"_s, u"X"_s}}})
        << u"a.xlsx"_s << u"张伟 |  | 张伟 | "_s << QStringList{u"第 7 行：“李娜”的性别“X”不是男或女"_s};
}

void RosterImportTest::readFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fileName);
    QFETCH(QString, lists);
    QFETCH(QStringList, problems);

    const SheetTable table = readBytes(bytes, fileName);
    const Reading reading = readPupils(table, guessMapping(table));
    QCOMPARE(listsText(RosterImport::apply({}, reading.pupils, Mode::Replace, guessMapping(table))), lists);
    QCOMPARE(problemLines(reading.problems), problems);
}

void RosterImportTest::apply_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("lists");
    QTest::addColumn<QStringList>("problems");

    // Now: boys 张伟 王强, girls 李娜, leaders 张伟 王强, boarders 王强 孙丽 (not on the lists).
    QTest::newRow("replaceWithoutColumns_keepsMarksOfThoseWhoStay")
        << u"姓名,性别\n张伟,男\n赵敏,女\n"_s << int(Mode::Replace) << u"张伟 | 赵敏 | 张伟 | "_s
        << QStringList();
    QTest::newRow("replaceWithColumns_fileDecides")
        << u"姓名,性别,组长,外宿生\n张伟,男,,是\n赵敏,女,是,\n"_s << int(Mode::Replace)
        << u"张伟 | 赵敏 | 赵敏 | 张伟"_s << QStringList();
    QTest::newRow("add_appendsAndKeepsMarks")
        << u"姓名,性别,组长\n赵敏,女,1\n刘洋,男,\n"_s << int(Mode::Add)
        << u"张伟 王强 刘洋 | 李娜 赵敏 | 张伟 王强 赵敏 | 王强 孙丽"_s << QStringList();
    QTest::newRow("add_nameOnRosterRefused")
        << u"姓名,性别\n赵敏,女\n李娜,女\n"_s << int(Mode::Add)
        << u"张伟 王强 | 李娜 赵敏 | 张伟 王强 | 王强 孙丽"_s << QStringList{u"第 3 行：“李娜”已在名单中"_s};
}

void RosterImportTest::apply()
{
    QFETCH(QString, csv);
    QFETCH(int, mode);
    QFETCH(QString, lists);
    QFETCH(QStringList, problems);

    const RosterLists current = {
        {u"张伟"_s, u"王强"_s}, {u"李娜"_s}, {u"张伟"_s, u"王强"_s}, {u"王强"_s, u"孙丽"_s}};
    const SheetTable table = SheetReader::parseCsv(csv).table;
    const Mapping mapping = guessMapping(table);
    const QStringList kept =
        Mode(mode) == Mode::Add ? current.maleNames + current.femaleNames : QStringList();
    const Reading reading = readPupils(table, mapping, kept);
    QCOMPARE(listsText(RosterImport::apply(current, reading.pupils, Mode(mode), mapping)), lists);
    QCOMPARE(problemLines(reading.problems), problems);
}

// Every file a teacher might choose by mistake or receive broken ends in the table or in one message.
void RosterImportTest::classList_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileName"); // ending in "/": a folder of that name
    QTest::addColumn<QString>("expected"); // the message, or the lists and any sheet and hidden columns
    QTest::addColumn<QStringList>("problems");

    const QString tooLarge = u"表格过大，无法作为名单导入（最多 1000 行、200 列）"_s;
    QByteArray thousand = "标题\n\n第二行\n姓名,性别\n", names;
    for (int i = 1; i <= 1000; ++i) {
        thousand += "学生" + QByteArray::number(i) + ",男\n";
        names += (i > 1 ? " 学生" : "学生") + QByteArray::number(i);
    }
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + i / 13) % 256);

    // Bounds, checked while reading
    QTest::newRow("tenMillionCommas_tooLarge")
        << QByteArray(10'000'000, ',') << u"a.csv"_s << tooLarge << QStringList();
    QTest::newRow("201Columns_tooLarge") << "姓名,性别" + QByteArray(199, ',') + "\n张伟,男\n"
                                         << u"a.csv"_s << tooLarge << QStringList();
    QTest::newRow("1000RowsUnderTitles_read")
        << thousand << u"a.csv"_s << QString::fromUtf8(names + " |  |  | ") << QStringList();
    QTest::newRow("1001Rows_tooLarge") << thousand + "学生0,女\n" << u"a.csv"_s << tooLarge << QStringList();
    QTest::newRow("nameOf51_refusedOf50_read")
        << (u"姓名,性别\n"_s + QString(51, u'长') + u",男\n"_s + QString(50, u'短') + u",女\n"_s).toUtf8()
        << u"a.csv"_s << u" | "_s + QString(50, u'短') + u" |  | "_s << QStringList{u"第 2 行：姓名过长"_s};
    QTest::newRow("tenMillionCharName_refused")
        << "姓名,性别\n" + QByteArray(10'000'000, 'x') + ",男\n"
        << u"a.csv"_s << u" |  |  | "_s << QStringList{u"第 2 行：姓名过长"_s};

    // Files that are no class list
    QTest::newRow("empty_noContent") << QByteArray() << u"a.csv"_s << u"文件 <file> 中没有内容"_s
                                     << QStringList();
    QTest::newRow("binaryNamedCsv_notASheet")
        << noise << u"a.csv"_s << u"此文件不是表格文件"_s << QStringList();
    QTest::newRow("binaryNamedXlsx_notASheet")
        << noise.mid(100) << u"a.xlsx"_s << u"此文件不是表格文件"_s << QStringList();
    QTest::newRow("folder_named") << QByteArray() << u"名单.csv/"_s
                                  << u"<file> 是一个文件夹，请选择表格文件"_s << QStringList();

    // Encodings and separators
    QTest::newRow("unicodeTextTabUtf16_read")
        << QByteArray(QStringEncoder(QStringConverter::Utf16LE,
                                     QStringConverter::Flag::WriteBom)(u"姓名\t性别\r\n张伟\t男\r\n"_s))
        << u"a.txt"_s << u"张伟 |  |  | "_s << QStringList();
    QTest::newRow("gbkAndUtf8Rows_mixed")
        << QByteArray("\xD0\xD5\xC3\xFB,\xD0\xD4\xB1\xF0\r\n\xD5\xC5\xCE\xB0,\xC4\xD0\r\n") +
               u"李四,男\r\n"_s.toUtf8()
        << u"a.csv"_s << u"文件中混有不同编码的行，请另存为 UTF-8 后再导入"_s << QStringList();
    QTest::newRow("semicolonsUnderCommaTitle_read")
        << u"高一(3)班,2025\n姓名;性别;组长\n张伟;男;是\n李娜;女;\n"_s.toUtf8() << u"a.csv"_s
        << u"张伟 | 李娜 | 张伟 | "_s << QStringList();

    // What the workbook hides, and what the rows hold
    QTest::newRow("hiddenFirstSheet_visibleReadHiddenColumnMarked")
        << hiddenSheetXlsx(
               {{1, {u"姓名"_s, u"性别"_s, u"电话"_s}}, {2, {u"张伟"_s, u"男"_s, u"13800000000"_s}}})
        << u"a.xlsx"_s << u"张伟 |  |  |  @ 名单, hidden 2"_s << QStringList();
    QTest::newRow("twoBlocks_bothReadProblemsPerRow")
        << u"学号,姓名,性别,组长,学号,姓名,性别,组长\n1,张伟,男,是,4,赵敏,女,\n2,李娜,女,,5,王强,男,是\n"
           "3,刘洋,男,,6,孙丽,?,\n,,,,7,陈新,男,\n"_s.toUtf8()
        << u"a.csv"_s << u"张伟 刘洋 王强 陈新 | 李娜 赵敏 | 张伟 王强 | "_s
        << QStringList{u"第 4 行：“孙丽”的性别“?”不是男或女"_s};
    QTest::newRow("negativeLeaderValues_noLeader")
        << u"姓名,性别,组长\n张伟,男,不是组长\n李娜,女,否\n王强,男,是\n赵敏,女,组长\n刘洋,男,×\n"_s.toUtf8()
        << u"a.csv"_s << u"张伟 王强 刘洋 | 李娜 赵敏 | 王强 赵敏 | "_s << QStringList();
    QTest::newRow("dutyTexts_onlyUndeniedLeaders")
        << u"姓名,性别,职务\n张伟,男,班长、第二组组长\n李娜,女,非组长\n王强,男,原组长\n赵敏,女,没有担任组长\n"_s
               .toUtf8()
        << u"a.csv"_s << u"张伟 王强 | 李娜 赵敏 | 张伟 | "_s << QStringList();
    QTest::newRow("invisibleCharacters_removedEmptyRefused")
        << u"姓名,性别\n\u0000张\u001B伟\u007F,男\n李\t\u202E娜\uFEFF,女\n\u200B,男\n \u200F ,女\n王\u200B强,\u200B男\n"_s
               .toUtf8()
        << u"a.csv"_s << u"张伟 王强 | 李娜 |  | "_s
        << QStringList{u"第 4 行：姓名为空"_s, u"第 5 行：姓名为空"_s};
}

void RosterImportTest::classList()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fileName);
    QFETCH(QString, expected);
    QFETCH(QStringList, problems);

    QTemporaryDir dir;
    const QString path = QDir::cleanPath(dir.filePath(fileName));
    QFile file(path);
    QVERIFY(fileName.endsWith(u'/') ? QDir().mkpath(path) : file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const SheetReadResult read = readClassList(path);
    const Mapping mapping = guessMapping(read.table);
    const Reading reading = readPupils(read.table, mapping);
    QString shown = listsText(RosterImport::apply({}, reading.pupils, Mode::Replace, mapping));
    if (!read.table.sheetName.isEmpty()) {
        shown += u" @ "_s + read.table.sheetName + u", hidden"_s;
        for (int column : read.table.hiddenColumns)
            shown += u' ' + QString::number(column);
    }
    QCOMPARE(read.ok() ? shown : QString(read.error).replace(QDir::toNativeSeparators(path), u"<file>"_s),
             expected);
    QCOMPARE(problemLines(reading.problems), problems);
}

// state.ini beside config.ini is read and written like any file a teacher's PC may have spoiled.
void RosterImportTest::importFolder_data()
{
    QTest::addColumn<QByteArray>("state"); // "<folder>": a folder in its place; <dir>: an existing folder
    QTest::addColumn<QString>("before");   // <docs>, <dir> or <chosen>
    QTest::addColumn<QString>("after");    // once a file in <chosen> was picked

    QTest::newRow("remembered_thatFolder")
        << QByteArray("[Import]\nLastFolder=<dir>\n") << u"<dir>"_s << u"<chosen>"_s;
    QTest::newRow("folderInPlace_untouched") << QByteArray("<folder>") << u"<docs>"_s << u"<docs>"_s;
    QTest::newRow("huge_untouched") << "[Import]\nLastFolder=<dir>\n" + QByteArray(100'000, ';')
                                    << u"<docs>"_s << u"<docs>"_s;
}

void RosterImportTest::importFolder()
{
    QFETCH(QByteArray, state);
    QFETCH(QString, before);
    QFETCH(QString, after);

    QTemporaryDir dir;
    const QString configPath = dir.filePath(u"config.ini"_s), existing = dir.filePath(u"旧名单"_s);
    const QString chosen = dir.filePath(u"新名单"_s), statePath = LocalState::path(configPath);
    QVERIFY(QDir().mkpath(existing) && QDir().mkpath(chosen));
    QCOMPARE(QFileInfo(statePath).dir().path(), dir.path());
    state.replace("<dir>", existing.toUtf8());
    QFile file(statePath);
    if (state == "<folder>")
        QVERIFY(QDir().mkpath(statePath));
    else if (!state.isEmpty())
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(state) == state.size());
    file.close();
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QMap<QString, QString> names = {
        {docs, u"<docs>"_s}, {existing, u"<dir>"_s}, {chosen, u"<chosen>"_s}};
    QCOMPARE(names.value(ImportFolder::last(configPath)), before);
    ImportFolder::remember(configPath, chosen + u"/名单.csv"_s);
    QCOMPARE(names.value(ImportFolder::last(configPath)), after);
    // What the program would not read, it leaves as it found it.
    if (after == u"<docs>"_s && file.open(QIODevice::ReadOnly))
        QCOMPARE(file.readAll(), state);
}

// A score column comes in with the roster; a score that cannot be read costs the score, not the pupil.
void RosterImportTest::scores_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("scores"); // "name=score" in name order, after the import
    QTest::addColumn<QStringList>("notes");

    // Now: 张伟 and 李娜 on the roster with scores 70 and 80, 王强 without one.
    QTest::newRow("scoreColumn_readWithRounding")
        << u"姓名,性别,成绩\n张伟,男,92.5\n李娜,女,８８\n刘洋,男,85.125\n赵敏,女,\n"_s << int(Mode::Replace)
        << u"张伟=92.5 刘洋=85.13 李娜=88"_s << QStringList();
    QTest::newRow("nonNumberAndOutOfRange_pupilsStillImported")
        << u"姓名,性别,总分\n张伟,男,缺考\n李娜,女,-1\n刘洋,男,NaN\n赵敏,女,99999\n孙丽,女,60\n"_s
        << int(Mode::Replace) << u"孙丽=60"_s
        << QStringList{u"第 2 行：成绩不是数字，已忽略"_s,
                       u"第 3 行：成绩“-1”超出范围（0 到 10000 分），已忽略"_s,
                       u"第 4 行：成绩不是数字，已忽略"_s,
                       u"第 5 行：成绩“99999”超出范围（0 到 10000 分），已忽略"_s};
    QTest::newRow("refusedRow_noScoreNote") << u"姓名,性别,得分\n张伟,?,abc\n李娜,女,81\n"_s
                                            << int(Mode::Replace) << u"李娜=81"_s << QStringList();
    QTest::newRow("xlsxNumbersAndFormula_read")
        << u"xlsx:"_s + sheetDataOf({{1, {u"姓名"_s, u"性别"_s, u"平均分"_s}}, {2, {u"张伟"_s, u"男"_s}}}) +
               u"<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><t>李娜</t></is></c><c r=\"B3\" "
               u"t=\"inlineStr\">"
               "<is><t>女</t></is></c><c r=\"C3\"><f>AVERAGE(D3:F3)</f><v>85.333333333333329</v></c></row>"_s
        << int(Mode::Replace) << u"李娜=85.33"_s << QStringList();
    QTest::newRow("twoBlocks_bothScored") << u"姓名,性别,分数,姓名,性别,分数\n张伟,男,1,李娜,女,2\n"_s
                                          << int(Mode::Replace) << u"张伟=1 李娜=2"_s << QStringList();
    QTest::newRow("replaceWithoutColumn_keepsScoresOfThoseWhoStay")
        << u"姓名,性别\n张伟,男\n赵敏,女\n"_s << int(Mode::Replace) << u"张伟=70"_s << QStringList();
    QTest::newRow("replaceWithColumn_fileDecides") << u"姓名,性别,考试成绩\n张伟,男,\n李娜,女,66\n"_s
                                                   << int(Mode::Replace) << u"李娜=66"_s << QStringList();
    QTest::newRow("add_keepsAndAdds") << u"姓名,性别,成绩\n赵敏,女,50\n"_s << int(Mode::Add)
                                      << u"张伟=70 李娜=80 赵敏=50"_s << QStringList();
}

void RosterImportTest::scores()
{
    QFETCH(QString, csv);
    QFETCH(int, mode);
    QFETCH(QString, scores);
    QFETCH(QStringList, notes);

    RosterLists current = {{u"张伟"_s, u"王强"_s}, {u"李娜"_s}, {}, {}};
    current.scores = {{u"张伟"_s, 7000}, {u"李娜"_s, 8000}};
    const SheetTable table = csv.startsWith(u"xlsx:"_s)
                                 ? readBytes(Test::zipParts(Test::workbookParts(csv.sliced(5))), u"a.xlsx"_s)
                                 : SheetReader::parseCsv(csv).table;
    const Mapping mapping = guessMapping(table);
    const QStringList kept =
        Mode(mode) == Mode::Add ? current.maleNames + current.femaleNames : QStringList();
    const Reading reading = readPupils(table, mapping, kept);
    const RosterLists lists = RosterImport::apply(current, reading.pupils, Mode(mode), mapping);
    const QStringList names = lists.maleNames + lists.femaleNames;
    QStringList shown;
    for (const QString &name : names) {
        if (lists.scores.contains(name))
            shown.append(name + u'=' + QString::number(lists.scores.value(name) / 100.0));
    }
    QCOMPARE(shown.join(u' '), scores);
    QCOMPARE(problemLines(reading.notes), notes);
}

QTEST_GUILESS_MAIN(RosterImportTest)
#include "rosterimport_test.moc"
