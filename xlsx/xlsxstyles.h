#pragma once

#include "xlsxdocument.h"
#include "xlsxerror.h"
#include "xlsxxml.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace Velmora {

class XlsxXmlScanner;

// The style sheet part. A formatted cell gets a clone of its own xf (and of its font and fill
// where those change), appended to the lists, one clone per distinct combination.
class XlsxStyles
{
public:
    // Lists a clone needs but the part lacks (fonts, fills, borders, cellStyleXfs, cellXfs) are
    // added with Excel's default first item, so that formatting works on any valid workbook.
    XlsxError parse(const QByteArray &bytes);
    // A style sheet for a workbook that has none; parse() it to fill in the lists.
    static QByteArray emptyPart(bool strict);
    // Forgets the clones made for an earlier save.
    void reset();
    // The xf index for a cell styled baseXf with format applied: baseXf itself when nothing
    // changes, -1 when the style sheet lacks the list a clone has to go into.
    int styleFor(int baseXf, const XlsxCellFormat &format);
    bool isChanged() const;
    QByteArray serialize() const;

private:
    struct Child
    {
        QString localName;
        qsizetype begin = 0;
        qsizetype startTagEnd = 0;
        qsizetype end = 0;
    };
    struct Item
    {
        qsizetype begin = 0;
        qsizetype startTagEnd = 0;
        qsizetype end = 0;
        QString qualifiedName;
        QList<Child> children;
        int fontId = 0;
        int fillId = 0;
        int borderId = 0;
    };
    struct List
    {
        bool present = false;
        qsizetype begin = 0;
        qsizetype startTagEnd = 0;
        qsizetype endTagBegin = 0;
        bool selfClosing = false;
        QString qualifiedName;
        QList<Item> items;
        QStringList appended;
        QHash<QString, int> clones;
        int count() const { return int(items.size() + appended.size()); }
    };

    struct Layout
    {
        QString rootName;
        qsizetype rootBegin = -1;
        qsizetype rootStartEnd = -1;
        qsizetype rootEndBegin = -1;
        bool rootSelfClosing = false;
        QList<QPair<QString, qsizetype>> children; // local name and start of each top-level element
    };

    XlsxError scan(Layout *layout);
    QString withMissingLists(const Layout &layout) const;
    XlsxError parseList(XlsxXmlScanner &scanner, List &list, QStringView itemName);
    QString startTag(const Item &item) const;
    QString rawText(const Child &child) const;
    int cloneXf(int baseXf, const XlsxCellFormat &format);
    int cloneFont(int fontId, double size, bool bold);
    int cloneFill(int fillId, QRgb color);
    int emptyFill();
    int cloneBorder(int borderId, int noBorder);
    static int append(List &list, const QString &key, const QString &xml);

    // A format asked for on a base xf; most cells of a chart share a handful of them.
    struct Request
    {
        int baseXf = 0;
        XlsxCellFormat format;
        friend bool operator==(const Request &a, const Request &b)
        {
            const XlsxCellFormat &f = a.format;
            const XlsxCellFormat &g = b.format;
            return a.baseXf == b.baseXf && f.fontSize == g.fontSize && f.bold == g.bold &&
                   f.centre == g.centre && f.wrap == g.wrap && f.fill == g.fill &&
                   (!f.fill || f.fillColor == g.fillColor) && f.noFill == g.noFill &&
                   f.noBorder == g.noBorder;
        }
        friend size_t qHash(const Request &r, size_t seed = 0)
        {
            const XlsxCellFormat &f = r.format;
            return qHashMulti(seed, r.baseXf, f.fontSize, f.bold, f.centre, f.wrap, f.fill,
                              f.fill ? f.fillColor : 0u, f.noFill, f.noBorder);
        }
    };

    XlsxXml::Text xml;
    List fonts;
    List fills;
    List borders;
    List cellXfs;
    QHash<Request, int> requests;
    bool completed = false; // lists were added to the part as it came
};

} // namespace Velmora
