#include "xlsxxmlscanner.h"

#include "xlsxxml.h"

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

// Whether the text holds an entity reference beyond the five that XML predefines.
bool hasForeignEntityReference(const QString &text)
{
    static const QStringView known[] = {u"amp;", u"lt;", u"gt;", u"quot;", u"apos;"};
    for (qsizetype i = text.indexOf(u'&'); i >= 0; i = text.indexOf(u'&', i + 1)) {
        const QStringView rest = QStringView(text).mid(i + 1);
        if (rest.startsWith(u'#'))
            continue;
        bool predefined = false;
        for (QStringView name : known)
            predefined = predefined || rest.startsWith(name);
        if (!predefined)
            return true;
    }
    return false;
}

// Whether the reader, given the raw bytes, decodes them exactly as decode() did: UTF-8 that
// does not declare itself as something else.
bool readsAsUtf8(const XlsxXml::Text &xml)
{
    if (xml.encoding != XlsxXml::Text::Encoding::Utf8 && xml.encoding != XlsxXml::Text::Encoding::Utf8Bom)
        return false;
    const QByteArrayView bytes =
        QByteArrayView(xml.raw).sliced(xml.encoding == XlsxXml::Text::Encoding::Utf8 ? 0 : 3);
    if (!bytes.startsWith("<?xml"))
        return true;
    const qsizetype close = bytes.indexOf("?>");
    if (close < 0)
        return false;
    const QByteArrayView declaration = bytes.first(close);
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return true;
    const QByteArray rest = declaration.sliced(at + 8).toByteArray().toLower();
    return rest.contains("utf-8") || rest.contains("utf8");
}

} // namespace

// Handing the reader the bytes spares it a round trip through UTF-8 of the decoded text.
XlsxXmlScanner::XlsxXmlScanner(const XlsxXml::Text &xml) : source(xml.text)
{
    if (readsAsUtf8(xml))
        reader.addData(xml.encoding == XlsxXml::Text::Encoding::Utf8 ? xml.raw : xml.raw.sliced(3));
    else
        reader.addData(xml.text);
}

void XlsxXmlScanner::fail(XlsxError error)
{
    if (failure == XlsxError::None)
        failure = error;
    finished = true;
}

QXmlStreamReader::TokenType XlsxXmlScanner::next()
{
    if (finished)
        return QXmlStreamReader::Invalid;
    const bool previousWasSelfClosing = reader.tokenType() == QXmlStreamReader::StartElement && selfClosing;
    const qsizetype previousEnd = end;
    const QXmlStreamReader::TokenType token = reader.readNext();
    attributesRead = false;
    switch (token) {
    case QXmlStreamReader::DTD:
    case QXmlStreamReader::EntityReference:
        fail(XlsxError::DtdForbidden);
        return QXmlStreamReader::Invalid;
    case QXmlStreamReader::Invalid:
        fail(source.contains(u"<!DOCTYPE") || source.contains(u"<!ENTITY") ||
                     hasForeignEntityReference(source)
                 ? XlsxError::DtdForbidden
                 : XlsxError::MalformedXml);
        return QXmlStreamReader::Invalid;
    case QXmlStreamReader::EndDocument:
        finished = true;
        return token;
    case QXmlStreamReader::StartElement:
        end = reader.characterOffset();
        // '<' cannot occur inside a tag, so the last one before its end is where the tag starts
        // (the reader's offset after a text token already includes that '<').
        begin = end > 0 ? source.lastIndexOf(u'<', end - 1) : -1;
        if (begin < 0 || end > source.size() || source.at(end - 1) != u'>') {
            fail(XlsxError::MalformedXml);
            return QXmlStreamReader::Invalid;
        }
        selfClosing = source.at(end - 2) == u'/';
        return token;
    case QXmlStreamReader::EndElement:
        if (previousWasSelfClosing) {
            begin = end = previousEnd;
        } else {
            end = reader.characterOffset();
            begin = end > 0 ? source.lastIndexOf(u'<', end - 1) : -1;
            if (begin < 0 || end > source.size() || source.at(end - 1) != u'>') {
                fail(XlsxError::MalformedXml);
                return QXmlStreamReader::Invalid;
            }
        }
        selfClosing = false;
        return token;
    default:
        return token;
    }
}

bool XlsxXmlScanner::isSpreadsheet(QStringView localName) const
{
    return reader.name() == localName && XlsxXml::isSpreadsheetNamespace(reader.namespaceUri());
}

QStringView XlsxXmlScanner::attribute(QStringView name) const
{
    if (!attributesRead) {
        attributes = reader.attributes();
        attributesRead = true;
    }
    for (const QXmlStreamAttribute &attribute : std::as_const(attributes)) {
        if (attribute.qualifiedName() == name)
            return attribute.value();
    }
    return {};
}

QString XlsxXmlScanner::readAllText()
{
    QString text;
    consumeElement(&text);
    return text;
}

bool XlsxXmlScanner::skipElement()
{
    return consumeElement(nullptr);
}

bool XlsxXmlScanner::consumeElement(QString *text)
{
    int depth = 1;
    while (depth > 0) {
        switch (next()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (text)
                *text += reader.text();
            break;
        case QXmlStreamReader::Invalid:
        case QXmlStreamReader::EndDocument:
            return false;
        default:
            break;
        }
    }
    return true;
}

QString XlsxXmlScanner::readStringItem()
{
    QString text;
    int depth = 1;
    while (depth > 0) {
        switch (next()) {
        case QXmlStreamReader::StartElement:
            if (isSpreadsheet(u"t"))
                text += readAllText();
            else if (isSpreadsheet(u"rPh") || isSpreadsheet(u"phoneticPr"))
                skipElement();
            else
                ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Invalid:
        case QXmlStreamReader::EndDocument:
            return {};
        default:
            break;
        }
    }
    return XlsxXml::unescapeOoxml(text);
}

} // namespace Velmora
