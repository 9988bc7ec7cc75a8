#include "pdffile.h"
#include "pdftextlayer.h"

#include <QBuffer>
#include <QGlyphRun>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

const QString names = u"马超 高翔 黄蓉"_s;

// A page as the chart writer draws one: runs laid out by QTextLayout, drawn one by one and noted.
QByteArray drawnPage(PdfTextLayer *layer)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    QPainter painter(&writer);
    QFont font(u"Noto Sans CJK SC"_s);
    font.setPointSize(20);
    int line = 0;
    for (const QString &text : {names, u"一子文日生色雨长"_s}) {
        QTextLayout layout(text, font, &writer);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        for (const QGlyphRun &run : runs)
            painter.drawGlyphRun(QPointF(100, 500 + 400 * line), run);
        ++line;
        layer->addRuns(runs, text);
    }
    painter.end();
    return pdf;
}

// Every ToUnicode map of the file, decoded, one after the other.
QByteArray toUnicodeMaps(const QByteArray &pdf)
{
    PdfFile file;
    if (!file.parse(pdf))
        return {};
    QByteArray maps;
    for (int number = 1; number < 200; ++number) {
        const std::optional<PdfValue> object = file.object(number);
        const PdfValue &map = object ? (*object)["ToUnicode"] : PdfValue();
        if (map.type == PdfValue::Type::Reference)
            maps += file.streamData(map.reference).value_or(QByteArray());
    }
    return maps;
}

} // namespace

// The text layer of the PDF: rewritten where the file is laid out as QPdfWriter writes it, left
// alone (and said so) where it is not.
class PdfTextLayerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rewrite_namesReadBackOrFileLeftAlone_data();
    void rewrite_namesReadBackOrFileLeftAlone();
};

void PdfTextLayerTest::rewrite_namesReadBackOrFileLeftAlone_data()
{
    QTest::addColumn<QString>("change"); // what is done to the file before the rewrite
    QTest::addColumn<bool>("rewritten");

    QTest::newRow("asWritten_rewritten") << QString() << true;
    QTest::newRow("compressedMaps_rewritten") << u"compress"_s << true;
    QTest::newRow("updatedFile_leftAlone") << u"update"_s << false;
    QTest::newRow("offsetOff_leftAlone") << u"offset"_s << false;
    QTest::newRow("lengthOff_leftAlone") << u"length"_s << false;
    QTest::newRow("runsNotDrawn_leftAlone") << u"runs"_s << false;
    QTest::newRow("notPdf_leftAlone") << u"garbage"_s << false;
}

void PdfTextLayerTest::rewrite_namesReadBackOrFileLeftAlone()
{
    QFETCH(QString, change);
    QFETCH(bool, rewritten);
    if (!QFontDatabase::hasFamily(u"Noto Sans CJK SC"_s))
        QSKIP("Noto Sans CJK SC is not installed");

    PdfTextLayer layer;
    QByteArray pdf = drawnPage(&layer);
    // Qt's own maps name 马 by the radical ⻢ (U+2EE2) and 一 by the Kangxi radical (U+2F00).
    QVERIFY(toUnicodeMaps(pdf).contains("<2EE2>"));
    if (change == u"compress") {
        PdfFile file;
        QVERIFY(file.parse(pdf));
        for (int number = 1; number < 200; ++number) {
            const std::optional<PdfValue> object = file.object(number);
            const PdfValue &map = object ? (*object)["ToUnicode"] : PdfValue();
            if (map.type != PdfValue::Type::Reference)
                continue;
            const QByteArray packed = qCompress(*file.streamData(map.reference)).mid(4);
            file.replace(map.reference, "<< /Length " + QByteArray::number(packed.size()) +
                                            " /Filter /FlateDecode >>\nstream\n" + packed + "\nendstream\n");
        }
        pdf = file.written();
    } else if (change == u"update") {
        const QByteArray start = pdf.mid(pdf.lastIndexOf("startxref") + 9).trimmed().split('\n').first();
        pdf += "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 1 /Prev " + start + " >>\nstartxref\n" +
               QByteArray::number(pdf.size()) + "\n%%EOF\n";
    } else if (change == u"offset") {
        const qsizetype entry = pdf.indexOf(" 00000 n", pdf.lastIndexOf("\nxref\n"));
        pdf[entry - 1] = pdf[entry - 1] == '0' ? '1' : '0';
    } else if (change == u"length") {
        // A map's length a hundred bytes off, every offset still right.
        const qsizetype digit = pdf.indexOf("<< /Length ") + 11;
        pdf[digit] = pdf[digit] == '9' ? '8' : char(pdf[digit] + 1);
    } else if (change == u"runs") {
        layer.clear();
    } else if (change == u"garbage") {
        pdf = QByteArray(4096, '\x7f');
    }

    QString why;
    const std::optional<QByteArray> result = layer.rewrite(pdf, &why);
    QCOMPARE(result.has_value(), rewritten);
    QCOMPARE(why.isEmpty(), rewritten);
    if (!rewritten)
        return;
    // Every object sits where the new table says, and the maps read the names as drawn.
    PdfFile check;
    QVERIFY(check.parse(*result));
    const QByteArray maps = toUnicodeMaps(*result);
    for (const char *code : {"<9A6C>", "<9AD8>", "<9EC4>", "<4E00>", "<5B50>", "<6587>", "<65E5>", "<751F>",
                             "<8272>", "<96E8>", "<957F>", "<0020>"})
        QVERIFY2(maps.contains(code), code);
    QVERIFY(!maps.contains("<2EE2>") && !maps.contains("<2F00>"));
}

QTEST_MAIN(PdfTextLayerTest)
#include "pdftextlayer_test.moc"
