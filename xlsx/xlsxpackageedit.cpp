#include "xlsxpackageedit.h"

#include "xlsxpackage.h"
#include "xlsxxmlscanner.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace XlsxPartNames {

QString directoryOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

QString relationshipsPartOf(const QString &part)
{
    const QString dir = directoryOf(part);
    const QString file = part.mid(part.lastIndexOf(u'/') + 1);
    return (dir.isEmpty() ? QString() : dir + u'/') + u"_rels/" + file + u".rels";
}

QString resolveTarget(const QString &baseDirectory, const QString &target)
{
    QString path = QUrl::fromPercentEncoding(target.toUtf8());
    path.replace(u'\\', u'/');
    QStringList segments;
    if (!path.startsWith(u'/'))
        segments = baseDirectory.split(u'/', Qt::SkipEmptyParts);
    for (const QString &segment : path.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u".")
            continue;
        if (segment == u"..") {
            if (segments.isEmpty())
                return {};
            segments.removeLast();
            continue;
        }
        segments.append(segment);
    }
    return segments.join(u'/');
}

// "xl/_rels/workbook.xml.rels" -> "xl/workbook.xml"; null for a part that holds no relationships.
QString sourceOf(const QString &relationshipsPart)
{
    const QString dir = directoryOf(relationshipsPart);
    if (!relationshipsPart.endsWith(u".rels", Qt::CaseInsensitive) ||
        !(dir == u"_rels" || dir.endsWith(u"/_rels")))
        return {};
    const QString file = relationshipsPart.mid(dir.size() + 1).chopped(5);
    const QString sourceDir = directoryOf(dir);
    return sourceDir.isEmpty() ? file : sourceDir + u'/' + file;
}

} // namespace XlsxPartNames

using namespace XlsxPartNames;

namespace {

// The part without the spans [first, second).
QString removeSpans(const QString &text, const QList<QPair<qsizetype, qsizetype>> &spans)
{
    QString out;
    qsizetype pos = 0;
    for (const auto &span : spans) {
        out += QStringView(text).mid(pos, span.first - pos);
        pos = span.second;
    }
    return out + QStringView(text).mid(pos);
}

// The element, written with the prefix of the part's root (%1), as the root's last child.
XlsxError appendToRoot(XlsxXml::Text &xml, const QString &element)
{
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    QString rootName;
    qsizetype rootStartBegin = -1;
    qsizetype rootStartEnd = -1;
    bool selfClosing = false;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::StartElement:
            if (++depth == 1) {
                rootName = scanner.xml().qualifiedName().toString();
                rootStartBegin = scanner.tagBegin();
                rootStartEnd = scanner.tagEnd();
                selfClosing = scanner.isSelfClosing();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (--depth == 0) {
                const QString child = element.arg(XlsxXml::prefixOf(rootName));
                if (selfClosing)
                    xml.text = xml.text.left(rootStartBegin) +
                               XlsxXml::openTag(xml.text.mid(rootStartBegin, rootStartEnd - rootStartBegin)) +
                               child + u"</" + rootName + u'>' + xml.text.mid(rootStartEnd);
                else
                    xml.text.insert(scanner.tagBegin(), child);
                return XlsxError::None;
            }
            break;
        case QXmlStreamReader::Invalid:
        case QXmlStreamReader::EndDocument:
            return scanner.failureReason();
        default:
            break;
        }
    }
}

QString extensionOf(const QString &part)
{
    const QString file = part.mid(part.lastIndexOf(u'/') + 1);
    const qsizetype dot = file.lastIndexOf(u'.');
    return dot < 0 ? QString() : file.mid(dot + 1);
}

} // namespace

XlsxError parseRelationships(const XlsxXml::Text &xml, const QString &baseDirectory,
                             QList<XlsxRelationship> *out)
{
    XlsxXmlScanner scanner(xml);
    int depth = 0;
    XlsxRelationship current;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            return XlsxError::None;
        case QXmlStreamReader::Invalid:
            return scanner.failureReason();
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 2 && scanner.xml().name() == u"Relationship" &&
                XlsxXml::isPackageRelationshipsNamespace(scanner.xml().namespaceUri())) {
                current = {};
                current.id = scanner.attribute(u"Id").toString();
                current.type = scanner.attribute(u"Type").toString();
                if (scanner.attribute(u"TargetMode") != u"External")
                    current.target = resolveTarget(baseDirectory, scanner.attribute(u"Target").toString());
                current.begin = scanner.tagBegin();
                current.end = -1;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2 && current.end < 0 && !current.id.isNull()) {
                current.end = scanner.tagEnd();
                out->append(current);
                current = {};
            }
            --depth;
            break;
        default:
            break;
        }
    }
}

XlsxPackageEdit::XlsxPackageEdit(XlsxPackage &package) : package(package) {}

XlsxError XlsxPackageEdit::fail(XlsxError error, const QString &part)
{
    if (error != XlsxError::None)
        failed = part;
    return error;
}

bool XlsxPackageEdit::holds(const QString &part) const
{
    const QString stored = package.find(part);
    if (!stored.isEmpty())
        return !dropped.contains(stored);
    for (const auto &[name, bytes] : added) {
        if (name.compare(part, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

XlsxError XlsxPackageEdit::read(const QString &part, QByteArray *out)
{
    const QString stored = package.find(part);
    if (stored.isEmpty() || dropped.contains(stored)) {
        for (const auto &[name, bytes] : added) {
            if (name.compare(part, Qt::CaseInsensitive) == 0) {
                *out = bytes;
                return XlsxError::None;
            }
        }
        return fail(XlsxError::Corrupt, part);
    }
    const auto it = replaced.constFind(stored);
    if (it != replaced.constEnd()) {
        *out = *it;
        return XlsxError::None;
    }
    return fail(package.read(stored, out), stored);
}

XlsxError XlsxPackageEdit::readXml(const QString &part, XlsxXml::Text *out)
{
    QByteArray bytes;
    const XlsxError error = read(part, &bytes);
    if (error != XlsxError::None)
        return error;
    return fail(XlsxXml::decode(bytes, out), part);
}

void XlsxPackageEdit::replace(const QString &part, const QByteArray &bytes)
{
    const QString stored = package.find(part);
    if (!stored.isEmpty()) {
        replaced.insert(stored, bytes);
        return;
    }
    for (auto &[name, data] : added) {
        if (name.compare(part, Qt::CaseInsensitive) == 0) {
            data = bytes;
            return;
        }
    }
}

void XlsxPackageEdit::add(const QString &part, const QByteArray &bytes)
{
    added.append({part, bytes});
}

void XlsxPackageEdit::drop(const QString &part)
{
    const QString stored = package.find(part);
    if (!stored.isEmpty()) {
        dropped.insert(stored);
        replaced.remove(stored);
    }
}

XlsxError XlsxPackageEdit::editXml(const QString &part,
                                   const std::function<XlsxError(XlsxXml::Text &)> &change)
{
    XlsxXml::Text xml;
    XlsxError error = readXml(part, &xml);
    if (error == XlsxError::None)
        error = fail(change(xml), part);
    if (error == XlsxError::None)
        replace(part, XlsxXml::encode(xml.text, xml.encoding));
    return error;
}

XlsxError XlsxPackageEdit::relationshipsOf(const QString &part, QList<XlsxRelationship> *out)
{
    out->clear();
    const QString rels = relationshipsPartOf(part);
    if (!holds(rels))
        return XlsxError::None;
    XlsxXml::Text xml;
    const XlsxError error = readXml(rels, &xml);
    if (error != XlsxError::None)
        return error;
    return fail(parseRelationships(xml, directoryOf(part), out), rels);
}

XlsxError XlsxPackageEdit::removeRelationships(const QString &part,
                                               const std::function<bool(const XlsxRelationship &)> &which)
{
    const QString rels = relationshipsPartOf(part);
    if (!holds(rels))
        return XlsxError::None;
    return editXml(rels, [&](XlsxXml::Text &xml) {
        QList<XlsxRelationship> relationships;
        const XlsxError error = parseRelationships(xml, directoryOf(part), &relationships);
        if (error != XlsxError::None)
            return error;
        QList<QPair<qsizetype, qsizetype>> spans;
        for (const XlsxRelationship &relationship : std::as_const(relationships)) {
            if (which(relationship))
                spans.append({relationship.begin, relationship.end});
        }
        if (!spans.isEmpty())
            xml.text = removeSpans(xml.text, spans);
        return XlsxError::None;
    });
}

XlsxError XlsxPackageEdit::addRelationship(const QString &part, const QString &type, const QString &target)
{
    const QString rels = relationshipsPartOf(part);
    if (!holds(rels))
        return fail(XlsxError::Corrupt, rels);
    return editXml(rels, [&](XlsxXml::Text &xml) {
        QList<XlsxRelationship> relationships;
        const XlsxError error = parseRelationships(xml, directoryOf(part), &relationships);
        if (error != XlsxError::None)
            return error;
        QSet<QString> ids;
        for (const XlsxRelationship &relationship : std::as_const(relationships))
            ids.insert(relationship.id);
        int n = int(relationships.size()) + 1;
        while (ids.contains(u"rId"_s + QString::number(n)))
            ++n;
        const QString base = directoryOf(part);
        const QString relative = target.mid(base.size() + (base.isEmpty() ? 0 : 1));
        return appendToRoot(xml, u"<%1Relationship Id=\"rId"_s + QString::number(n) + u"\" Type=\""_s +
                                     XlsxXml::escapeMarkup(type) + u"\" Target=\""_s +
                                     XlsxXml::escapeMarkup(relative) + u"\"/>"_s);
    });
}

XlsxError XlsxPackageEdit::dropWithDependents(const QString &part)
{
    // Who points where, as the save would write it: a part goes only when every relationship
    // that leads to it comes from a part that goes too.
    struct Source
    {
        QString part;
        QList<QString> targets;
    };
    QHash<QString, Source> byRelationshipsPart;
    for (const QString &name : package.entryNames()) {
        const QString source = sourceOf(name);
        if (source.isNull() || !holds(name))
            continue;
        QList<XlsxRelationship> relationships;
        const XlsxError error = relationshipsOf(source, &relationships);
        if (error != XlsxError::None)
            return error;
        Source &entry = byRelationshipsPart[name];
        entry.part = source.toCaseFolded();
        for (const XlsxRelationship &relationship : std::as_const(relationships)) {
            if (!relationship.target.isEmpty())
                entry.targets.append(relationship.target.toCaseFolded());
        }
    }
    // Nothing that another relationship still leads to goes, nor a part that only names others;
    // so a hostile target cannot take the sheet or the content types with it.
    const QString folded = part.toCaseFolded();
    QSet<QString> doomed;
    for (bool grew = true; grew;) {
        grew = false;
        QSet<QString> candidates{folded};
        for (const Source &source : std::as_const(byRelationshipsPart)) {
            if (doomed.contains(source.part))
                candidates.unite(QSet<QString>(source.targets.cbegin(), source.targets.cend()));
        }
        for (const QString &candidate : std::as_const(candidates)) {
            if (doomed.contains(candidate) || candidate.endsWith(u".rels") ||
                candidate == u"[content_types].xml")
                continue;
            bool heldElsewhere = false;
            for (const Source &source : std::as_const(byRelationshipsPart))
                heldElsewhere =
                    heldElsewhere || (!doomed.contains(source.part) && source.targets.contains(candidate));
            if (!heldElsewhere) {
                doomed.insert(candidate);
                grew = true;
            }
        }
    }
    QSet<QString> gone;
    for (const QString &name : package.entryNames()) {
        const QString source = sourceOf(name);
        if (doomed.contains(name.toCaseFolded()) ||
            (!source.isNull() && doomed.contains(source.toCaseFolded())))
            gone.insert(name);
    }
    for (const QString &name : std::as_const(gone))
        drop(name);
    return removeContentTypes(gone);
}

XlsxError XlsxPackageEdit::readContentTypes(ContentTypes *out)
{
    out->path = package.find(u"[Content_Types].xml"_s);
    if (out->path.isEmpty())
        return XlsxError::None;
    XlsxError error = readXml(out->path, &out->xml);
    if (error != XlsxError::None)
        return error;
    XlsxXmlScanner scanner(out->xml);
    int depth = 0;
    ContentType *open = nullptr;
    for (;;) {
        switch (scanner.next()) {
        case QXmlStreamReader::EndDocument:
            return XlsxError::None;
        case QXmlStreamReader::Invalid:
            return fail(scanner.failureReason(), out->path);
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 2 && XlsxXml::isContentTypesNamespace(scanner.xml().namespaceUri())) {
                const bool isDefault = scanner.xml().name() == u"Default";
                if (!isDefault && scanner.xml().name() != u"Override")
                    break;
                QList<ContentType> &list = isDefault ? out->defaults : out->overrides;
                list.append({scanner.attribute(isDefault ? u"Extension" : u"PartName").toString(),
                             scanner.attribute(u"ContentType").toString(), scanner.tagBegin(),
                             scanner.tagEnd(), -1});
                open = &list.last();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2 && open) {
                open->end = scanner.tagEnd();
                open = nullptr;
            }
            --depth;
            break;
        default:
            break;
        }
    }
}

XlsxError XlsxPackageEdit::removeContentTypes(const QSet<QString> &parts)
{
    ContentTypes types;
    XlsxError error = readContentTypes(&types);
    if (error != XlsxError::None || types.path.isEmpty())
        return error;
    QSet<QString> names;
    for (const QString &part : parts)
        names.insert(u'/' + part.toCaseFolded());
    QSet<QString> extensionsLeft;
    for (const QString &name : package.entryNames()) {
        if (holds(name))
            extensionsLeft.insert(extensionOf(name).toCaseFolded());
    }
    QList<QPair<qsizetype, qsizetype>> spans;
    for (const ContentType &entry : std::as_const(types.defaults)) {
        // A default for an extension that no part has any more would only name what went.
        bool named = false;
        for (const QString &part : parts)
            named = named || extensionOf(part).compare(entry.key, Qt::CaseInsensitive) == 0;
        if (named && !extensionsLeft.contains(entry.key.toCaseFolded()))
            spans.append({entry.begin, entry.end});
    }
    for (const ContentType &entry : std::as_const(types.overrides)) {
        if (names.contains(entry.key.toCaseFolded()))
            spans.append({entry.begin, entry.end});
    }
    if (spans.isEmpty())
        return XlsxError::None;
    std::sort(spans.begin(), spans.end());
    replace(types.path, XlsxXml::encode(removeSpans(types.xml.text, spans), types.xml.encoding));
    return XlsxError::None;
}

XlsxError XlsxPackageEdit::setContentType(const QString &part, const QString &type, bool onlyWhenMissing)
{
    ContentTypes types;
    const XlsxError error = readContentTypes(&types);
    if (error != XlsxError::None || types.path.isEmpty())
        return error;
    const QString name = u'/' + part;
    for (const ContentType &entry : std::as_const(types.overrides)) {
        if (entry.key.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (onlyWhenMissing || entry.type == type)
            return XlsxError::None;
        const QString tag = types.xml.text.mid(entry.begin, entry.startTagEnd - entry.begin);
        types.xml.text.replace(entry.begin, tag.size(), XlsxXml::setTagAttribute(tag, u"ContentType", type));
        replace(types.path, XlsxXml::encode(types.xml.text, types.xml.encoding));
        return XlsxError::None;
    }
    if (!onlyWhenMissing) {
        for (const ContentType &entry : std::as_const(types.defaults)) {
            if (entry.key.compare(extensionOf(part), Qt::CaseInsensitive) == 0 && entry.type == type)
                return XlsxError::None;
        }
    }
    return editXml(types.path, [&](XlsxXml::Text &xml) {
        return appendToRoot(xml, u"<%1Override PartName=\""_s + XlsxXml::escapeMarkup(name) +
                                     u"\" ContentType=\""_s + XlsxXml::escapeMarkup(type) + u"\"/>"_s);
    });
}

} // namespace Velmora
