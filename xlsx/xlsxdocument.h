#pragma once

#include "xlsxerror.h"
#include "xlsxlimits.h"
#include "xlsxsheet.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QString>

#include <memory>

// The engine needs only Qt Core; this is the same declaration QtGui's qrgb.h makes.
QT_BEGIN_NAMESPACE
typedef unsigned int QRgb;
QT_END_NAMESPACE

namespace Velmora {

class XlsxPackage;
class XlsxPackageEdit;
class XlsxSheetView;
class XlsxStyles;
struct XlsxRelationship;

struct XlsxRange
{
    int firstRow = 1; // 1-based
    int firstColumn = 1;
    int rowCount = 0; // 0 when the sheet is empty
    int columnCount = 0;
};

struct XlsxCellFormat
{
    enum Edge
    {
        LeftEdge = 1,
        RightEdge = 2,
        TopEdge = 4,
        BottomEdge = 8
    };

    bool centre = false;         // horizontal="center" vertical="center"
    bool wrap = false;           // wrapText="1"
    double fontSize = 0;         // 0 keeps the cell's own size
    bool bold = false;           // true sets bold; false keeps the template's setting
    bool fill = false;           // true sets patternFill solid with fillColor
    QRgb fillColor = 0xFFFFFF00; // ARGB, written as rgb="FFFFFF00"
    bool noFill = false;         // true takes the cell's fill away
    int noBorder = 0;            // the edges (Edge flags) whose border is taken away
};

// A template workbook opened for filling in. Only the first worksheet and the style sheet are
// rewritten, along with what keeps the package consistent with them (relationships, content
// types, the names of table columns); every other part goes into the saved file as it came.
class XlsxDocument
{
public:
    XlsxDocument();
    ~XlsxDocument();
    XlsxDocument(const XlsxDocument &) = delete;
    XlsxDocument &operator=(const XlsxDocument &) = delete;

    bool open(const QString &path);
    // The same from the bytes of a workbook; the document then has no template file to protect.
    bool openData(const QByteArray &bytes);
    QString errorString() const;
    XlsxError error() const { return failure; }
    void setLimits(const XlsxLimits &newLimits) { limits = newLimits; }

    // A template is filled on its first worksheet, whatever a teacher hid; a list is read from
    // the first one a teacher sees. Set before opening.
    enum class SheetChoice
    {
        First,
        FirstVisible
    };
    void setSheetChoice(SheetChoice choice) { sheetChoice = choice; }
    // The name of the worksheet read, as its tab shows it.
    QString sheetName() const { return sheetTitle; }

    XlsxRange usedRange() const;
    // The cells the template holds, in row, then column order: every cell whose text can be
    // anything but empty is among them, whatever the used range spans.
    QList<QPair<int, int>> storedCells() const;
    QString cellText(int row, int column) const;
    // The merged range the cell lies in, or the cell alone.
    XlsxRange mergedRange(int row, int column) const;
    void setCellText(int row, int column, const QString &text);
    // Replaces any format set on the cell before.
    void setCellFormat(int row, int column, const XlsxCellFormat &format);

    // A saved chart is always a plain workbook: a template's VBA project is left out of it, and
    // this tells whether there was one.
    bool hasMacros() const { return macros; }
    // The first worksheet as it prints, with the values and formats set so far; for drawing the
    // chart elsewhere than in a spreadsheet.
    XlsxError readSheetView(XlsxSheetView *out);
    // Only its sizes and what it hides, without the cells and their styles.
    XlsxError readSheetLayout(XlsxSheetView *out);

    bool saveAs(const QString &path);
    bool saveToData(QByteArray *out);

private:
    struct Pending
    {
        bool hasText = false;
        QString text;
        bool hasFormat = false;
        XlsxCellFormat format;
    };

    struct WorkbookParts
    {
        QString sharedStrings;
        QString danglingStyles; // the target of a styles relationship whose part is missing
        bool strict = false;
    };

    bool fail(XlsxError error, const QString &detail = {});
    void reset();
    XlsxError readXml(const QString &name, XlsxXml::Text *xml);
    bool load();
    XlsxError findWorkbook();
    XlsxError readWorkbookRelationships(QList<XlsxRelationship> *out);
    XlsxError findFirstWorksheet(const QList<XlsxRelationship> &relationships);
    WorkbookParts findWorkbookParts(const QList<XlsxRelationship> &relationships);
    XlsxError loadSharedStrings(const QString &path, QStringList *out);
    XlsxError loadStyles(const WorkbookParts &parts);
    XlsxError loadSheet(const QStringList &sharedStrings);
    QString freePartName(const QString &folder, const QString &stem) const;

    bool collectEdits(QMap<quint64, XlsxSheet::Edit> *edits);
    XlsxError patchSheet(XlsxPackageEdit &parts, const QMap<quint64, XlsxSheet::Edit> &edits) const;
    XlsxError writeStyles(XlsxPackageEdit &parts) const;
    XlsxError makePlainWorkbook(XlsxPackageEdit &parts) const;

    std::unique_ptr<XlsxPackage> package;
    std::unique_ptr<XlsxSheet> sheet;
    std::unique_ptr<XlsxStyles> styles;
    QString templatePath;
    QString workbookPath;
    QString workbookRelsPath;
    QString sheetPath;
    QString sheetTitle;
    QString stylesPath;
    QString calcChainPath;
    QString vbaProjectPath;
    bool macros = false;
    // A workbook without a usable style sheet gets one at stylesPath.
    struct
    {
        bool strict = false;
        bool relationshipNeeded = false;
    } newStyles;
    QMap<quint64, Pending> pending;
    XlsxLimits limits;
    SheetChoice sheetChoice = SheetChoice::First;
    XlsxError failure = XlsxError::NotOpen;
    QString failureDetail;
};

} // namespace Velmora
