#pragma once

#include "xlsxerror.h"
#include "xlsxlimits.h"

#include <QBuffer>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>

class QuaZip;

namespace Velmora {

// The zip container of a workbook, held in memory. Reads are bounded while inflating, so a zip
// bomb is stopped by what it actually expands to, whatever its headers claim; writing copies
// every part that was not replaced as raw compressed bytes.
class XlsxPackage
{
public:
    XlsxPackage();
    ~XlsxPackage();
    XlsxPackage(const XlsxPackage &) = delete;
    XlsxPackage &operator=(const XlsxPackage &) = delete;

    XlsxError open(const QByteArray &archive, const XlsxLimits &limits);
    // Which entry or what the zip library said, for the error message.
    QString errorDetail() const { return detail; }

    // Names are matched case-insensitively; these return the name as stored, or "".
    QString find(const QString &name) const;
    QStringList entryNames() const { return names; }

    XlsxError read(const QString &name, QByteArray *out);

    // Writes the package in its original entry order: parts in replaced get the new bytes, parts
    // in dropped are left out, every other part is copied byte for byte; added parts come last.
    XlsxError write(QByteArray *archive, const QHash<QString, QByteArray> &replaced,
                    const QSet<QString> &dropped, const QList<QPair<QString, QByteArray>> &added = {});

    // The archive as the zip library reads it.
    struct MemoryStream
    {
        QByteArray bytes;
        qint64 position = 0;
    };

private:
    XlsxError fail(XlsxError error, const QString &why);

    MemoryStream memory;
    QBuffer buffer;
    std::unique_ptr<QuaZip> zip;
    bool goTo(int index);

    struct Entry;
    QList<Entry> entries;
    QStringList names;
    QHash<QString, int> byFoldedName;
    XlsxLimits limits;
    qint64 inflated = 0;
    QString detail;
};

} // namespace Velmora
