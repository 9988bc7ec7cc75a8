#pragma once

#include "xlsxerror.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace Velmora::XlsxXml {

// A decoded XML part and the encoding it came in, so that a patched part goes back out the same way.
struct Text
{
    enum class Encoding
    {
        Utf8,
        Utf8Bom,
        Utf16Le,
        Utf16Be,
        Latin1,
        Ascii // under any other non-UTF label: everything beyond ASCII goes out as references
    };
    QString text;
    Encoding encoding = Encoding::Utf8;
    QByteArray raw; // the bytes it was decoded from
};

// MalformedXml for bytes that are not what they claim to be, UnsupportedEncoding for a declared
// encoding that Qt Core cannot decode.
XlsxError decode(const QByteArray &bytes, Text *out);
// Characters that Latin-1 cannot carry go out as character references, which is right for the
// element text and attribute values this engine writes.
QByteArray encode(const QString &text, Text::Encoding encoding);

// Transitional and strict OOXML use different namespace URIs for the same vocabulary.
bool isSpreadsheetNamespace(QStringView uri);
bool isRelationshipNamespace(QStringView uri);
bool isPackageRelationshipsNamespace(QStringView uri);
bool isContentTypesNamespace(QStringView uri);
// True when type is <transitional or strict relationship base>/kind.
bool isRelationshipType(QStringView type, QStringView kind);

// "x:row" -> "x:"; "row" -> "".
QString prefixOf(QStringView qualifiedName);

// Edits one attribute of a raw start tag ("<x:xf a='1' b=\"2\">" or a self-closing one) in place,
// leaving every other byte of the tag as it was.
QString setTagAttribute(const QString &tag, QStringView name, const QString &value);
QString removeTagAttribute(const QString &tag, QStringView name);
// "<a x='1'/>" -> "<a x='1'>"; tags that are not self-closing come back unchanged.
QString openTag(const QString &tag);

// The XML character escapes; the result is safe both as element text and in a quoted attribute.
QString escapeMarkup(const QString &text);

// Excel's _xHHHH_ escapes: characters XML cannot carry, and literal text that would read as one.
QString escapeOoxml(const QString &text);
QString unescapeOoxml(const QString &text);

// "B3" <-> (3, 2). Returns false for anything outside the worksheet grid.
bool parseCellReference(QStringView ref, int *row, int *column);
QString cellReference(int row, int column);
QString columnName(int column);

constexpr int maxRows = 1048576;
constexpr int maxColumns = 16384;

} // namespace Velmora::XlsxXml
