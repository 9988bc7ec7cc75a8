#include "xlsxxml.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Velmora::XlsxXml {

namespace {

constexpr QStringView transitionalMain = u"http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr QStringView strictMain = u"http://purl.oclc.org/ooxml/spreadsheetml/main";
constexpr QStringView transitionalRelationships =
    u"http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr QStringView strictRelationships = u"http://purl.oclc.org/ooxml/officeDocument/relationships";

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "_xHHHH_" starting at i.
bool isEscapeAt(const QString &text, qsizetype i)
{
    if (i + 7 > text.size() || text.at(i) != u'_' || text.at(i + 1) != u'x' || text.at(i + 6) != u'_')
        return false;
    for (qsizetype k = i + 2; k < i + 6; ++k) {
        if (!isHex(text.at(k)))
            return false;
    }
    return true;
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

struct AttributeSpan
{
    qsizetype begin = -1; // the blank before the name
    qsizetype end = -1;   // past the closing quote
};

// Walks the attributes of a well-formed start tag; the reader has already vouched for its syntax.
AttributeSpan findAttribute(const QString &tag, QStringView name)
{
    qsizetype i = 1;
    while (i < tag.size() && !tag.at(i).isSpace() && tag.at(i) != u'>' && tag.at(i) != u'/')
        ++i;
    while (i < tag.size()) {
        const qsizetype blank = i;
        while (i < tag.size() && tag.at(i).isSpace())
            ++i;
        if (i >= tag.size() || tag.at(i) == u'>' || tag.at(i) == u'/')
            return {};
        const qsizetype nameBegin = i;
        while (i < tag.size() && tag.at(i) != u'=' && !tag.at(i).isSpace())
            ++i;
        const QStringView found = QStringView(tag).mid(nameBegin, i - nameBegin);
        while (i < tag.size() && tag.at(i) != u'\'' && tag.at(i) != u'"')
            ++i;
        if (i >= tag.size())
            return {};
        const QChar quote = tag.at(i);
        const qsizetype close = tag.indexOf(quote, i + 1);
        if (close < 0)
            return {};
        i = close + 1;
        if (found == name)
            return {blank, i};
    }
    return {};
}

// The encoding named in the XML declaration, lower-cased; empty when there is none.
QByteArray declaredEncoding(QByteArrayView bytes)
{
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype close = bytes.indexOf("?>");
    const QByteArrayView declaration = close < 0 ? bytes.first(0) : bytes.first(close);
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return {};
    qsizetype quote = at + 8;
    while (quote < declaration.size() && declaration.at(quote) != '"' && declaration.at(quote) != '\'')
        ++quote;
    if (quote >= declaration.size())
        return {};
    const qsizetype end = declaration.indexOf(declaration.at(quote), quote + 1);
    if (end < 0)
        return {};
    return declaration.sliced(quote + 1, end - quote - 1).toByteArray().trimmed().toLower();
}

bool isLatin1Name(const QByteArray &name)
{
    return name == "iso-8859-1" || name == "iso8859-1" || name == "iso_8859-1" || name == "latin1" ||
           name == "latin-1" || name == "l1";
}

// Labels of single-byte encodings that agree with ASCII below 0x80.
bool isSingleByteName(const QByteArray &name)
{
    if (isLatin1Name(name) || name == "us-ascii" || name == "ascii")
        return true;
    for (const char *family : {"iso-8859-", "iso8859-", "iso_8859-", "windows-125", "cp125"}) {
        if (name.startsWith(family) && name.size() > qsizetype(qstrlen(family)))
            return true;
    }
    return false;
}

// A single-byte part keeps its label, so whatever the encoding cannot hold goes in as a character
// reference; every code point below `limit` is one byte of it.
QByteArray withCharacterReferences(const QString &text, char32_t limit)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char32_t c : QStringView(text).toUcs4()) {
        if (c < limit)
            out.append(char(c));
        else
            out.append("&#" + QByteArray::number(uint(c)) + ';');
    }
    return out;
}

} // namespace

XlsxError decode(const QByteArray &bytes, Text *out)
{
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    qsizetype skip = 0;
    out->encoding = Text::Encoding::Utf8;
    out->raw = bytes;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        out->encoding = Text::Encoding::Utf8Bom;
        skip = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        out->encoding = Text::Encoding::Utf16Le;
        encoding = QStringDecoder::Utf16LE;
        skip = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        out->encoding = Text::Encoding::Utf16Be;
        encoding = QStringDecoder::Utf16BE;
        skip = 2;
    } else {
        const QByteArray declared = declaredEncoding(bytes);
        const bool unicode = declared.isEmpty() || declared.startsWith("utf");
        const bool ascii =
            std::none_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) >= 0x80; });
        // Readers go by the label: text written into this part later, names above all, must not
        // go out as UTF-8 bytes under a label that says otherwise.
        if (!unicode && ascii) {
            out->encoding = Text::Encoding::Ascii;
        } else if (!unicode && isSingleByteName(declared)) {
            // Tools that label UTF-8 as Latin-1 exist, and real single-byte text beyond ASCII is
            // almost never valid UTF-8; so the label decides the reading only for bytes that UTF-8
            // cannot read, while the writing always follows the label.
            out->encoding = isLatin1Name(declared) ? Text::Encoding::Latin1 : Text::Encoding::Ascii;
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            out->text = utf8.decode(bytes);
            if (!utf8.hasError())
                return XlsxError::None;
            if (declared == "us-ascii" || declared == "ascii")
                return XlsxError::MalformedXml;
            if (out->encoding != Text::Encoding::Latin1)
                return XlsxError::UnsupportedEncoding;
            out->text = QString::fromLatin1(bytes);
            return XlsxError::None;
        } else if (!unicode) {
            // Every other legacy encoding agrees with UTF-8 on plain ASCII, so only text beyond
            // it is refused.
            return XlsxError::UnsupportedEncoding;
        }
    }
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    out->text = decoder.decode(QByteArrayView(bytes).sliced(skip));
    return decoder.hasError() ? XlsxError::MalformedXml : XlsxError::None;
}

QByteArray encode(const QString &text, Text::Encoding encoding)
{
    switch (encoding) {
    case Text::Encoding::Utf8:
        return text.toUtf8();
    case Text::Encoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case Text::Encoding::Utf16Le: {
        QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        return encoder.encode(text);
    }
    case Text::Encoding::Utf16Be: {
        QStringEncoder encoder(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom);
        return encoder.encode(text);
    }
    case Text::Encoding::Latin1:
        return withCharacterReferences(text, 0x100);
    case Text::Encoding::Ascii:
        return withCharacterReferences(text, 0x80);
    }
    return text.toUtf8();
}

bool isSpreadsheetNamespace(QStringView uri)
{
    return uri == transitionalMain || uri == strictMain;
}

bool isRelationshipNamespace(QStringView uri)
{
    return uri == transitionalRelationships || uri == strictRelationships;
}

bool isPackageRelationshipsNamespace(QStringView uri)
{
    return uri == u"http://schemas.openxmlformats.org/package/2006/relationships";
}

bool isContentTypesNamespace(QStringView uri)
{
    return uri == u"http://schemas.openxmlformats.org/package/2006/content-types";
}

bool isRelationshipType(QStringView type, QStringView kind)
{
    for (QStringView base : {transitionalRelationships, strictRelationships}) {
        if (type.size() == base.size() + 1 + kind.size() && type.startsWith(base) &&
            type.at(base.size()) == u'/' && type.endsWith(kind))
            return true;
    }
    return false;
}

QString prefixOf(QStringView qualifiedName)
{
    const qsizetype colon = qualifiedName.indexOf(u':');
    return colon < 0 ? QString() : qualifiedName.left(colon + 1).toString();
}

QString setTagAttribute(const QString &tag, QStringView name, const QString &value)
{
    const QString attribute = u' ' + name.toString() + u"=\"" + escapeMarkup(value) + u'"';
    const AttributeSpan span = findAttribute(tag, name);
    if (span.begin >= 0)
        return tag.left(span.begin) + attribute + tag.mid(span.end);
    const qsizetype close = tag.endsWith(u"/>") ? tag.size() - 2 : tag.size() - 1;
    return tag.left(close) + attribute + tag.mid(close);
}

QString removeTagAttribute(const QString &tag, QStringView name)
{
    const AttributeSpan span = findAttribute(tag, name);
    if (span.begin < 0)
        return tag;
    return tag.left(span.begin) + tag.mid(span.end);
}

QString openTag(const QString &tag)
{
    if (!tag.endsWith(u"/>"))
        return tag;
    return tag.left(tag.size() - 2) + u'>';
}

QString escapeMarkup(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString escapeOoxml(const QString &text)
{
    bool plain = true;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == u'_' || u >= 0xD800) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'_' && isEscapeAt(text, i)) {
            out += u"_x005F_";
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        const char32_t code = c.unicode();
        // A literal CR would be normalised away by every XML reader.
        if (!isXmlChar(code) || c.isSurrogate() || code == 0xD)
            out += u"_x" + QString::number(uint(code), 16).toUpper().rightJustified(4, u'0') + u'_';
        else
            out += c;
    }
    return out;
}

QString unescapeOoxml(const QString &text)
{
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text.at(i) == u'_' && isEscapeAt(text, i)) {
            out += QChar(char16_t(QStringView(text).mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 6;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

bool parseCellReference(QStringView ref, int *row, int *column)
{
    qsizetype i = 0;
    qint64 col = 0;
    while (i < ref.size() && i < 4) {
        const QChar c = ref.at(i);
        if (c >= u'A' && c <= u'Z')
            col = col * 26 + (c.unicode() - u'A' + 1);
        else if (c >= u'a' && c <= u'z')
            col = col * 26 + (c.unicode() - u'a' + 1);
        else
            break;
        ++i;
    }
    if (i == 0 || col > maxColumns || i >= ref.size() || ref.size() - i > 7)
        return false;
    qint64 r = 0;
    for (qsizetype k = i; k < ref.size(); ++k) {
        const QChar c = ref.at(k);
        if (c < u'0' || c > u'9')
            return false;
        r = r * 10 + (c.unicode() - u'0');
    }
    if (r < 1 || r > maxRows)
        return false;
    *row = int(r);
    *column = int(col);
    return true;
}

QString columnName(int column)
{
    QString name;
    while (column > 0) {
        const int digit = (column - 1) % 26;
        name.prepend(QChar(char16_t(u'A' + digit)));
        column = (column - 1) / 26;
    }
    return name;
}

QString cellReference(int row, int column)
{
    return columnName(column) + QString::number(row);
}

} // namespace Velmora::XlsxXml
