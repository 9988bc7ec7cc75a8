#include "rosterimport.h"
#include "xlsxtestpackage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::RosterImport;

namespace {

QByteArray xlsxOf(const QMap<int, QStringList> &rows)
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
    return Test::zipParts(Test::workbookParts(data));
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
    const SheetTable table = SheetReader::parseCsv(csv);
    const Mapping mapping = guessMapping(table);
    const QStringList kept =
        Mode(mode) == Mode::Add ? current.maleNames + current.femaleNames : QStringList();
    const Reading reading = readPupils(table, mapping, kept);
    QCOMPARE(listsText(RosterImport::apply(current, reading.pupils, Mode(mode), mapping)), lists);
    QCOMPARE(problemLines(reading.problems), problems);
}

QTEST_GUILESS_MAIN(RosterImportTest)
#include "rosterimport_test.moc"
