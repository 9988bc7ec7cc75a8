#pragma once

#include "xlsxerror.h"
#include "xlsxxml.h"

#include <QString>
#include <QXmlStreamReader>

namespace Velmora {

// QXmlStreamReader over a decoded part that also tells where in the text each tag sits, so that a
// part can be patched by splicing instead of being re-serialised. DTDs and entity references
// are refused outright: no part of a workbook needs them, and they are how XML bombs get in.
class XlsxXmlScanner
{
public:
    explicit XlsxXmlScanner(const XlsxXml::Text &xml);

    // The next token, or Invalid once the document ends or fails; see error().
    QXmlStreamReader::TokenType next();
    XlsxError error() const { return failure; }

    // For StartElement and EndElement: [tagBegin, tagEnd) is the tag's text. The EndElement of a
    // self-closing element is empty and sits at the end of its start tag.
    qsizetype tagBegin() const { return begin; }
    qsizetype tagEnd() const { return end; }
    QString tagText() const { return source.mid(begin, end - begin); }
    bool isSelfClosing() const { return selfClosing; }

    bool isSpreadsheet(QStringView localName) const;
    // An unprefixed attribute; null when absent.
    QStringView attribute(QStringView name) const;
    const QXmlStreamReader &xml() const { return reader; }

    // Consumes the rest of the current element; returns its direct and nested text.
    QString readAllText();
    // Consumes the rest of the current element.
    bool skipElement();
    // Consumes the rest of an si or is element: its plain text and the text of its rich runs,
    // without the phonetic guide runs, with _xHHHH_ escapes decoded.
    QString readStringItem();

private:
    void fail(XlsxError error);

    const QString &source;
    QXmlStreamReader reader;
    XlsxError failure = XlsxError::None;
    qsizetype begin = 0;
    qsizetype end = 0;
    bool selfClosing = false;
    bool finished = false;
    // reader.attributes() copies the list on every call.
    mutable QXmlStreamAttributes attributes;
    mutable bool attributesRead = false;
};

} // namespace Velmora
