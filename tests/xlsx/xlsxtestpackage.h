#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

namespace Velmora::Test {

using Parts = QList<QPair<QString, QByteArray>>;

// A small but complete workbook: content types, relationships, one worksheet with the given
// sheetData content, shared strings and a style sheet with two fonts, two fills and two xfs.
Parts workbookParts(const QString &sheetData, const QStringList &sharedStrings = {});
// The same in strict OOXML namespaces.
Parts strictWorkbookParts(const QString &sheetData);
QString worksheetXml(const QString &sheetData, const QString &prefix = {});

void setPart(Parts &parts, const QString &name, const QByteArray &data);
QByteArray zipParts(const Parts &parts);
// Every entry of an archive, inflated.
QMap<QString, QByteArray> unzipParts(const QByteArray &archive);
QMap<QString, QByteArray> unzipFile(const QString &path);

} // namespace Velmora::Test
