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
    // What to report when the document ended early or broke off: the scanner's own refusal if it
    // made one, else plain malformed XML.
    XlsxError failureReason() const { return failure == XlsxError::None ? XlsxError::MalformedXml : failure; }

    // Walks the children of the current element up to its end tag, where it leaves the scanner.
    // Children named `localName` go to `onChild`, which must consume them and returns an error or
    // XlsxError::None; other children are skipped.
    template <typename OnChild> XlsxError readChildren(QStringView localName, OnChild &&onChild);

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
    // Reads to the end of the current element, collecting its text when asked; false when the
    // document ends or fails first.
    bool consumeElement(QString *text);

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

template <typename OnChild> XlsxError XlsxXmlScanner::readChildren(QStringView localName, OnChild &&onChild)
{
    for (;;) {
        switch (next()) {
        case QXmlStreamReader::EndElement:
            return XlsxError::None;
        case QXmlStreamReader::StartElement:
            if (isSpreadsheet(localName)) {
                const XlsxError error = onChild();
                if (error != XlsxError::None)
                    return error;
            } else if (!skipElement()) {
                return failureReason();
            }
            break;
        case QXmlStreamReader::Invalid:
        case QXmlStreamReader::EndDocument:
            return failureReason();
        default:
            break;
        }
    }
}

} // namespace Velmora
