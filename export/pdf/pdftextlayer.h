#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QGlyphRun;

namespace Velmora {

// The text a PDF viewer searches and copies. QPdfWriter names every glyph by the lowest code
// point its font maps to it, so a CJK font that draws 马 and the radical ⻢ alike makes 马 read
// as ⻢, and a space can read as a tab. Here each glyph is named after the character it was
// drawn for: the runs are noted as they are drawn, matched in order with the text the page's
// content shows, and every font's ToUnicode map is written anew from those pairs.
class PdfTextLayer
{
public:
    // The runs of one text as handed to QPainter::drawGlyphRun, with the text they were laid
    // out from.
    void addRuns(const QList<QGlyphRun> &glyphRuns, const QString &text);
    void clear() { runs.clear(); }

    // The file with its ToUnicode maps rewritten. Nothing when the file is not laid out the way
    // QPdfWriter writes it or its text does not match the runs; *why then says what differed.
    std::optional<QByteArray> rewrite(const QByteArray &pdf, QString *why) const;

private:
    struct Run
    {
        QString face; // family and style of the font drawn with
        QList<quint32> glyphs;
        QStringList texts; // per glyph; empty when no character of the text maps to it
    };
    QList<Run> runs;
};

} // namespace Velmora
