#include "testenvironment.h"
#include "xlsxdocument.h"
#include "xlsxtestpackage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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
