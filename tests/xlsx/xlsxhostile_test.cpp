#include "testenvironment.h"
#include "xlsxdocument.h"
#include "xlsxtestpackage.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using namespace Velmora;
using namespace Velmora::Test;

namespace {

XlsxError errorNamed(const QString &name)
{
    static const QHash<QString, XlsxError> names = {
        {u"NotZip"_s, XlsxError::NotZip},
        {u"Encrypted"_s, XlsxError::Encrypted},
        {u"Corrupt"_s, XlsxError::Corrupt},
        {u"TooLarge"_s, XlsxError::TooLarge},
        {u"UnsafeEntryName"_s, XlsxError::UnsafeEntryName},
        {u"DuplicateEntryName"_s, XlsxError::DuplicateEntryName},
        {u"DtdForbidden"_s, XlsxError::DtdForbidden},
        {u"MalformedXml"_s, XlsxError::MalformedXml},
        {u"NoWorkbook"_s, XlsxError::NoWorkbook},
        {u"NoWorksheet"_s, XlsxError::NoWorksheet},
        {u"SharedStringOutOfRange"_s, XlsxError::SharedStringOutOfRange},
    };
    return names.value(name, XlsxError::None);
}

Parts withPart(Parts parts, const QString &name, const QByteArray &data)
{
    if (data.isNull()) {
        parts.removeIf([&](const auto &part) { return part.first == name; });
        return parts;
    }
    setPart(parts, name, data);
    return parts;
}

QByteArray partOf(const Parts &parts, const QString &name)
{
    for (const auto &part : parts) {
        if (part.first == name)
            return part.second;
    }
    return {};
}

QString corpusDirectory()
{
    return sourceDirectory() + u"/tests/fixtures/xlsx/hostile"_s;
}

} // namespace

class XlsxHostileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpus_data();
    void corpus();
    void limits_data();
    void limits();
    void badTemplates_data();
    void badTemplates();
    void specialFiles_data();
    void specialFiles();
    void failedOpen_forgetsEarlierWorkbook();
    void missingFile_readFailed();
};

void XlsxHostileTest::corpus_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<XlsxError>("expected");
    QFile list(corpusDirectory() + u"/expected.txt"_s);
    QVERIFY2(list.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(list.fileName()));
    int rows = 0;
    while (!list.atEnd()) {
        const QString line = QString::fromUtf8(list.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u' ');
        QVERIFY2(fields.size() == 2 && errorNamed(fields[1]) != XlsxError::None, qPrintable(line));
        // File names are kebab-case descriptions of the scenario; the expectation is the error.
        const QString file = fields[0];
        QString scenario;
        for (const QString &word : QString(file).chopped(5).split(u'-'))
            scenario += scenario.isEmpty() ? word : word.left(1).toUpper() + word.mid(1);
        QTest::newRow(qPrintable(scenario + u'_' + fields[1]))
            << corpusDirectory() + u'/' + file << errorNamed(fields[1]);
        ++rows;
    }
    QVERIFY(rows >= 30);
}

void XlsxHostileTest::corpus()
{
    QFETCH(QString, path);
    QFETCH(XlsxError, expected);
    QVERIFY(QFile::exists(path));
    XlsxDocument document;
    QVERIFY(!document.open(path));
    QCOMPARE(document.error(), expected);
    QVERIFY(!document.errorString().isEmpty());
    QCOMPARE(document.usedRange().rowCount, 0);
    QCOMPARE(document.cellText(1, 1), QString());
    document.setCellText(1, 1, u"x"_s);
    QTemporaryDir dir;
    QVERIFY(!document.saveAs(dir.filePath(u"out.xlsx"_s)));
    QCOMPARE(document.error(), XlsxError::NotOpen);
    QVERIFY(!QFile::exists(dir.filePath(u"out.xlsx"_s)));
}

void XlsxHostileTest::limits_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<qint64>("entryBytes");
    QTest::addColumn<qint64>("totalBytes");
    QTest::addColumn<qint64>("archiveBytes");
    QTest::addColumn<XlsxError>("expected");

    const qint64 big = 1 << 30;
    QTest::newRow("generous_opens") << 100 << big << big << big << XlsxError::None;
    QTest::newRow("tooManyEntries_tooLarge") << 7 << big << big << big << XlsxError::TooLarge;
    QTest::newRow("onePartTooBig_tooLarge") << 100 << qint64(600) << big << big << XlsxError::TooLarge;
    // Every part fits alone, but together they inflate past the total.
    QTest::newRow("partsTogetherTooBig_tooLarge")
        << 100 << qint64(2000) << qint64(2500) << big << XlsxError::TooLarge;
    QTest::newRow("archiveTooBig_tooLarge") << 100 << big << big << qint64(100) << XlsxError::TooLarge;
}

void XlsxHostileTest::limits()
{
    QFETCH(int, entries);
    QFETCH(qint64, entryBytes);
    QFETCH(qint64, totalBytes);
    QFETCH(qint64, archiveBytes);
    QFETCH(XlsxError, expected);
    QString cells;
    for (int row = 1; row <= 20; ++row)
        cells += u"<row r=\"%1\"><c r=\"A%1\"><v>%1</v></c></row>"_s.arg(row);
    XlsxDocument document;
    document.setLimits({archiveBytes, entries, entryBytes, totalBytes});
    QCOMPARE(document.openData(zipParts(workbookParts(cells))), expected == XlsxError::None);
    QCOMPARE(document.error(), expected);
}

// Inputs that once froze the export, ate gigabytes or were refused for no reason. Bounds are
// checked by counting what the engine keeps, never by the clock.
void XlsxHostileTest::badTemplates_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<XlsxLimits>("limits");
    QTest::addColumn<XlsxError>("expected");
    QTest::addColumn<int>("storedCells");

    const QString seat = u"<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>1-1</t></is></c></row>"_s;
    const Parts plain = workbookParts(seat);
    const XlsxLimits defaults;
    QTest::newRow("farCell_onlyStoredCellsKept")
        << zipParts(workbookParts(seat + u"<row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c></row>"_s))
        << defaults << XlsxError::None << 2;
    QTest::newRow("denseEmptyCells_notKept")
        << zipParts(workbookParts(QString(seat).replace(u"</row>"_s, u"<c r=\"C1\"/></row>"_s) +
                                  QString(u"<row>"_s + u"<c/>"_s.repeated(16000) + u"</row>"_s).repeated(20)))
        << defaults << XlsxError::None << 1;
    XlsxLimits fewCells;
    fewCells.cells = 50;
    QString cells;
    for (int column = 1; column <= 51; ++column)
        cells += u"<c><v>%1</v></c>"_s.arg(column);
    QTest::newRow("cellsAboveBound_tooManyCells")
        << zipParts(workbookParts(u"<row r=\"1\">"_s + cells + u"</row>"_s)) << fewCells
        << XlsxError::TooManyCells << 0;
    XlsxLimits fewRows;
    fewRows.rows = 50;
    QTest::newRow("rowsAboveBound_tooManyCells") << zipParts(workbookParts(seat + u"<row/>"_s.repeated(50)))
                                                 << fewRows << XlsxError::TooManyCells << 0;

    const QString stylesRel = u"<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/"
                              u"officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"_s;
    const QByteArray rels = partOf(plain, u"xl/_rels/workbook.xml.rels"_s);
    QVERIFY(rels.contains(stylesRel.toUtf8()));
    Parts noStyles = withPart(plain, u"xl/styles.xml"_s, {});
    QTest::newRow("danglingStylesRelationship_exports")
        << zipParts(noStyles) << defaults << XlsxError::None << 1;
    noStyles =
        withPart(noStyles, u"xl/_rels/workbook.xml.rels"_s, QByteArray(rels).replace(stylesRel.toUtf8(), ""));
    QTest::newRow("noStyleSheet_exports") << zipParts(noStyles) << defaults << XlsxError::None << 1;
    const QByteArray styles = partOf(plain, u"xl/styles.xml"_s);
    static const QRegularExpression cellXfs(u"<cellXfs.*</cellXfs>"_s);
    QTest::newRow("noCellXfs_exports")
        << zipParts(withPart(plain, u"xl/styles.xml"_s, QString::fromUtf8(styles).remove(cellXfs).toUtf8()))
        << defaults << XlsxError::None << 1;

    // A VBA relationship aimed at a part the chart cannot do without.
    auto vbaAt = [&](const QByteArray &target) {
        const QByteArray relationship =
            "<Relationship Id=\"rId9\" Type=\"http://schemas.microsoft.com/office/"
            "2006/relationships/vbaProject\" Target=\"" +
            target + "\"/></Relationships>";
        return zipParts(withPart(plain, u"xl/_rels/workbook.xml.rels"_s,
                                 QByteArray(rels).replace("</Relationships>", relationship)));
    };
    QTest::newRow("vbaRelationshipToSheet_sheetKept")
        << vbaAt("worksheets/sheet1.xml") << defaults << XlsxError::None << 1;
    QTest::newRow("vbaRelationshipToContentTypes_kept")
        << vbaAt("../[Content_Types].xml") << defaults << XlsxError::None << 1;

    auto declared = [&](const QByteArray &encoding, const QByteArray &text) {
        QByteArray sheet = worksheetXml(u"<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>1-1</t></is></c>"
                                        u"<c r=\"B1\" t=\"inlineStr\"><is><t>@</t></is></c></row>"_s)
                               .toUtf8();
        sheet.replace("<?xml version=\"1.0\"?>",
                      QByteArray("<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>"));
        return zipParts(withPart(plain, u"xl/worksheets/sheet1.xml"_s, sheet.replace("@", text)));
    };
    QTest::newRow("latin1Sheet_read")
        << declared("ISO-8859-1", "Fran\xE7ois") << defaults << XlsxError::None << 2;
    QTest::newRow("gbkSheet_unsupportedEncoding")
        << declared("GBK", "\xD5\xC5\xC8\xFD") << defaults << XlsxError::UnsupportedEncoding << 0;
}

void XlsxHostileTest::badTemplates()
{
    QFETCH(QByteArray, archive);
    QFETCH(XlsxLimits, limits);
    QFETCH(XlsxError, expected);
    QFETCH(int, storedCells);

    XlsxDocument document;
    document.setLimits(limits);
    QCOMPARE(document.openData(archive), expected == XlsxError::None);
    QCOMPARE(document.error(), expected);
    const QList<QPair<int, int>> stored = document.storedCells();
    QCOMPARE(stored.size(), storedCells);
    if (expected != XlsxError::None)
        return;
    QCOMPARE(stored.first(), qMakePair(1, 1));
    QVERIFY(std::is_sorted(stored.cbegin(), stored.cend()));

    // A filled, formatted seat must survive the round trip whatever the template lacked.
    XlsxCellFormat format;
    format.centre = true;
    format.fontSize = 16;
    format.bold = true;
    format.fill = true;
    document.setCellText(1, 1, u"张伟"_s);
    document.setCellFormat(1, 1, format);
    document.setCellText(1, 3, u"王芳"_s);
    QByteArray saved;
    QVERIFY2(document.saveToData(&saved), qPrintable(document.errorString()));
    XlsxDocument reread;
    QVERIFY2(reread.openData(saved), qPrintable(reread.errorString()));
    QCOMPARE(reread.cellText(1, 1), u"张伟"_s);
    QCOMPARE(reread.cellText(1, 3), u"王芳"_s);
    QCOMPARE(reread.cellText(1, 2), document.cellText(1, 2));
    const QMap<QString, QByteArray> out = unzipParts(saved);
    QVERIFY(out.contains(u"[Content_Types].xml"_s));
    QVERIFY(out.value(u"xl/styles.xml"_s).contains("<cellXfs count="));
    QCOMPARE(out.value(u"xl/_rels/workbook.xml.rels"_s).count("/styles\""), 1);
    // C1 is new, or was an empty cell that was not kept: either way it must not come out twice.
    QCOMPARE(out.value(u"xl/worksheets/sheet1.xml"_s).count("r=\"C1\""), 1);
}

// Paths that are not regular files: open() used to block on a FIFO and read /dev/zero until
// memory ran out.
void XlsxHostileTest::specialFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<XlsxError>("expected");

#ifdef Q_OS_UNIX
    static QTemporaryDir dir;
    const QString fifo = dir.filePath(u"fifo.xlsx"_s);
    QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QVERIFY(QFile::link(fifo, dir.filePath(u"link.xlsx"_s)));
    QTest::newRow("devZero_notRegular") << u"/dev/zero"_s << XlsxError::NotRegularFile;
    QTest::newRow("fifo_notRegular") << fifo << XlsxError::NotRegularFile;
    QTest::newRow("linkToFifo_notRegular") << dir.filePath(u"link.xlsx"_s) << XlsxError::NotRegularFile;
#else
    QSKIP("FIFOs and devices are Unix files");
#endif
}

void XlsxHostileTest::specialFiles()
{
    QFETCH(QString, path);
    QFETCH(XlsxError, expected);
    XlsxDocument document;
    QVERIFY(!document.open(path));
    QCOMPARE(document.error(), expected);
}

void XlsxHostileTest::failedOpen_forgetsEarlierWorkbook()
{
    XlsxDocument document;
    QVERIFY(document.openData(zipParts(workbookParts(u"<row r=\"1\"><c r=\"A1\"><v>7</v></c></row>"_s))));
    QCOMPARE(document.cellText(1, 1), u"7"_s);
    QVERIFY(!document.open(corpusDirectory() + u"/dtd-sheet.xlsx"_s));
    QCOMPARE(document.cellText(1, 1), QString());
    QByteArray out;
    QVERIFY(!document.saveToData(&out));
    QVERIFY(out.isEmpty());
}

void XlsxHostileTest::missingFile_readFailed()
{
    XlsxDocument document;
    QVERIFY(!document.open(corpusDirectory() + u"/no-such-file.xlsx"_s));
    QCOMPARE(document.error(), XlsxError::ReadFailed);
    QVERIFY(document.errorString().startsWith(u"无法读取文件"));
}

QTEST_GUILESS_MAIN(XlsxHostileTest)
#include "xlsxhostile_test.moc"
