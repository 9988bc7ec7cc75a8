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
    // device's own text.
    bool writeFile(const QString &path, QString *error);
    bool write(QIODevice *device);
    // False without a GUI application or without a single installed font: nothing could draw text.
    static bool fontsAvailable();

    // Plain log lines naming each font used in place of one the template asks for.
    QStringList fontNotes() const { return notes; }
    // The page's size and where the sheet went on it, in points; known after a write.
    QSizeF pageSize() const { return page; }
    QRectF sheetRect() const { return placed; }

private:
    const XlsxSheetView &view;
    QStringList notes;
    QSizeF page;
    QRectF placed;
};

} // namespace Velmora
