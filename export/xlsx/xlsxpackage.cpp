#include "xlsxpackage.h"

#include <QIODevice>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>
#include <quazip/quazipnewinfo.h>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

bool isUnsafeName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'/') || name.contains(u'\\') || name.contains(QChar(0)))
        return true;
    if (name.size() >= 2 && name.at(1) == u':')
        return true;
    for (QStringView segment : QStringView(name).split(u'/')) {
        if (segment == u"..")
            return true;
    }
    return false;
}

} // namespace

XlsxPackage::XlsxPackage() = default;
XlsxPackage::~XlsxPackage() = default;

XlsxError XlsxPackage::fail(XlsxError error, const QString &why)
{
    detail = why;
    return error;
}

XlsxError XlsxPackage::open(const QByteArray &archive, const XlsxLimits &newLimits)
{
    zip.reset();
    buffer.close();
    names.clear();
    byFoldedName.clear();
    inflated = 0;
    detail.clear();
    limits = newLimits;
    if (archive.size() > limits.archiveBytes)
        return fail(XlsxError::TooLarge, {});
    bytes = archive;
    buffer.setBuffer(&bytes);
    zip = std::make_unique<QuaZip>(&buffer);
    if (!zip->open(QuaZip::mdUnzip)) {
        // Without the end-of-central-directory record a zip that starts out right was cut short.
        const bool looksLikeZip = archive.startsWith("PK\x03\x04");
        zip.reset();
        return fail(looksLikeZip ? XlsxError::Corrupt : XlsxError::NotZip, {});
    }
    if (zip->getEntriesCount() > limits.entries)
        return fail(XlsxError::TooLarge, {});
    int count = 0;
    for (bool more = zip->goToFirstFile(); more; more = zip->goToNextFile()) {
        if (++count > limits.entries)
            return fail(XlsxError::TooLarge, {});
        QuaZipFileInfo64 info;
        if (!zip->getCurrentFileInfo(&info))
            return fail(XlsxError::Corrupt, {});
        if (isUnsafeName(info.name))
            return fail(XlsxError::UnsafeEntryName, info.name);
        const QString folded = info.name.toCaseFolded();
        if (byFoldedName.contains(folded))
            return fail(XlsxError::DuplicateEntryName, info.name);
        byFoldedName.insert(folded, info.name);
        names.append(info.name);
    }
    if (zip->getZipError() != UNZ_OK)
        return fail(XlsxError::Corrupt, {});
    return XlsxError::None;
}

QString XlsxPackage::find(const QString &name) const
{
    return byFoldedName.value(name.toCaseFolded());
}

XlsxError XlsxPackage::read(const QString &name, QByteArray *out)
{
    out->clear();
    const QString stored = find(name);
    if (!zip || stored.isEmpty() || !zip->setCurrentFile(stored, QuaZip::csSensitive))
        return fail(XlsxError::Corrupt, name);
    QuaZipFileInfo64 info;
    if (!zip->getCurrentFileInfo(&info))
        return fail(XlsxError::Corrupt, name);
    if (info.flags & 1)
        return fail(XlsxError::Encrypted, name);
    if (info.uncompressedSize > quint64(limits.entryBytes) ||
        inflated + qint64(info.uncompressedSize) > limits.totalBytes)
        return fail(XlsxError::TooLarge, name);
    QuaZipFile file(zip.get());
    if (!file.open(QIODevice::ReadOnly))
        return fail(XlsxError::Corrupt, name);
    char chunk[65536];
    qint64 got = 0;
    while ((got = file.read(chunk, sizeof chunk)) > 0) {
        // The header's size is a claim; what counts is what inflates.
        inflated += got;
        if (out->size() + got > limits.entryBytes || inflated > limits.totalBytes) {
            file.close();
            out->clear();
            return fail(XlsxError::TooLarge, name);
        }
        out->append(chunk, got);
    }
    file.close();
    if (got < 0 || file.getZipError() != UNZ_OK || qint64(info.uncompressedSize) != out->size()) {
        out->clear();
        return fail(XlsxError::Corrupt, name);
    }
    return XlsxError::None;
}

XlsxError XlsxPackage::write(QByteArray *archive, const QHash<QString, QByteArray> &replaced,
                             const QSet<QString> &dropped)
{
    archive->clear();
    if (!zip)
        return fail(XlsxError::NotOpen, {});
    QBuffer device(archive);
    QuaZip target(&device);
    target.setDataDescriptorWritingEnabled(false);
    if (!target.open(QuaZip::mdCreate))
        return fail(XlsxError::WriteFailed, {});
    for (const QString &name : std::as_const(names)) {
        if (dropped.contains(name))
            continue;
        if (!zip->setCurrentFile(name, QuaZip::csSensitive))
            return fail(XlsxError::Corrupt, name);
        QuaZipFileInfo64 info;
        if (!zip->getCurrentFileInfo(&info))
            return fail(XlsxError::Corrupt, name);
        QuaZipNewInfo newInfo(info);
        QuaZipFile out(&target);
        const auto replacement = replaced.constFind(name);
        if (replacement != replaced.constEnd()) {
            newInfo.uncompressedSize = 0;
            if (!out.open(QIODevice::WriteOnly, newInfo, nullptr, 0, Z_DEFLATED, 6) ||
                out.write(*replacement) != replacement->size())
                return fail(XlsxError::WriteFailed, name);
        } else {
            QuaZipFile in(zip.get());
            int method = 0;
            int level = 0;
            if (!in.open(QIODevice::ReadOnly, &method, &level, true))
                return fail(XlsxError::Corrupt, name);
            const QByteArray raw = in.readAll();
            in.close();
            if (in.getZipError() != UNZ_OK)
                return fail(XlsxError::Corrupt, name);
            newInfo.uncompressedSize = info.uncompressedSize;
            if (!out.open(QIODevice::WriteOnly, newInfo, nullptr, info.crc, method, level, true) ||
                out.write(raw) != raw.size())
                return fail(XlsxError::WriteFailed, name);
        }
        out.close();
        if (out.getZipError() != ZIP_OK)
            return fail(XlsxError::WriteFailed, name);
    }
    target.close();
    if (target.getZipError() != ZIP_OK)
        return fail(XlsxError::WriteFailed, {});
    return XlsxError::None;
}

} // namespace Velmora
