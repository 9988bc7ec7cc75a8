#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>

class QIODevice;

namespace Velmora {

class XlsxSheetView;

// Draws the printed area of a filled chart onto one A4 page of a PDF, the way the template lays
// it out: sizes, merges, borders, fills, fonts and alignment. Needs a QGuiApplication for fonts.
class ChartPdfWriter
{
public:
    explicit ChartPdfWriter(const XlsxSheetView &view);

    // Writes the page atomically: a failed write leaves nothing at the path. The error is the
    // device's own text, or why the page could not be drawn (see refusal()).
    bool writeFile(const QString &path, QString *error);
    bool write(QIODevice *device);
    // Why the sheet cannot go onto one page, for the teacher, after a failed write; empty when
    // the device failed instead. detail() says more, for the log.
    QString refusal() const { return refused; }
    QString detail() const { return refusedDetail; }
    // False without a GUI application or without a single installed font: nothing could draw text.
    static bool fontsAvailable();

    // Plain log lines naming each font used in place of one the template asks for, and anything
    // else drawn otherwise than the sheet asks.
    QStringList fontNotes() const { return notes; }

    // A page shows the sheet at no less than this scale, the least a spreadsheet prints at.
    static constexpr double minimumScale = 0.1;
    // A spreadsheet shows no more of a cell's text than this.
    static constexpr int maxCellCharacters = 1024;
    // The characters one page may hold; a seating chart has a few hundred.
    static constexpr qsizetype maxPageCharacters = 200000;
    // The page's size and where the sheet went on it, in points; known after a write.
    QSizeF pageSize() const { return page; }
    QRectF sheetRect() const { return placed; }

private:
    bool refuse(const QString &text, const QString &why);

    const XlsxSheetView &view;
    QStringList notes;
    QString refused;
    QString refusedDetail;
    QSizeF page;
    QRectF placed;
};

} // namespace Velmora
