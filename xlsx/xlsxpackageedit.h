#pragma once

#include "xlsxerror.h"
#include "xlsxxml.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <functional>

namespace Velmora {

class XlsxPackage;

struct XlsxRelationship
{
    QString id;
    QString type;
    QString target; // resolved to a package path; empty for external or unresolvable targets
    qsizetype begin = 0;
    qsizetype end = 0;
};

namespace XlsxPartNames {
// "xl/workbook.xml" -> "xl"; "" for a part at the root.
QString directoryOf(const QString &part);
// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"; "" gives the package's own "_rels/.rels".
QString relationshipsPartOf(const QString &part);
// Targets are URIs relative to the source part's folder, or absolute from the package root.
QString resolveTarget(const QString &baseDirectory, const QString &target);
} // namespace XlsxPartNames

XlsxError parseRelationships(const XlsxXml::Text &xml, const QString &baseDirectory,
                             QList<XlsxRelationship> *out);

// What a save writes differently from the template: parts replaced, left out or added, and the
// edits of relationship and content-type parts that keep the package consistent with them. A
// part is always read as this save will write it, so edits of one part pile up.
class XlsxPackageEdit
{
public:
    explicit XlsxPackageEdit(XlsxPackage &package);

    XlsxError read(const QString &part, QByteArray *out);
    XlsxError readXml(const QString &part, XlsxXml::Text *out);
    void replace(const QString &part, const QByteArray &bytes);
    void add(const QString &part, const QByteArray &bytes);
    void drop(const QString &part);
    // Whether the saved package will hold the part (names match case-insensitively).
    bool holds(const QString &part) const;

    // The relationships whose source is part ("" for the package itself); none when the part
    // has no relationships part.
    XlsxError relationshipsOf(const QString &part, QList<XlsxRelationship> *out);
    XlsxError removeRelationships(const QString &part,
                                  const std::function<bool(const XlsxRelationship &)> &which);
    // A new relationship from part to target (a package path), under an id the part does not use.
    XlsxError addRelationship(const QString &part, const QString &type, const QString &target);
    // Leaves out the part, its relationships and every part that only they lead to, together with
    // the content types that name them.
    XlsxError dropWithDependents(const QString &part);

    // The content type part names part as of type: an override is added or changed unless the
    // extension's default already says so. With onlyWhenMissing an existing override is kept.
    XlsxError setContentType(const QString &part, const QString &type, bool onlyWhenMissing = false);

    QString failedPart() const { return failed; }
    const QHash<QString, QByteArray> &replacedParts() const { return replaced; }
    const QSet<QString> &droppedParts() const { return dropped; }
    const QList<QPair<QString, QByteArray>> &addedParts() const { return added; }

private:
    struct ContentType
    {
        QString key; // extension or part name, as written
        QString type;
        qsizetype begin = 0;
        qsizetype startTagEnd = 0;
        qsizetype end = 0;
    };
    struct ContentTypes
    {
        QString path;
        XlsxXml::Text xml;
        QList<ContentType> defaults;
        QList<ContentType> overrides;
    };

    XlsxError fail(XlsxError error, const QString &part);
    XlsxError readContentTypes(ContentTypes *out);
    XlsxError removeContentTypes(const QSet<QString> &parts);
    XlsxError editXml(const QString &part, const std::function<XlsxError(XlsxXml::Text &)> &change);

    XlsxPackage &package;
    QHash<QString, QByteArray> replaced;
    QSet<QString> dropped;
    QList<QPair<QString, QByteArray>> added;
    QString failed;
};

} // namespace Velmora
