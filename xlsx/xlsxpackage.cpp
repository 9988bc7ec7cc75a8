#include "xlsxpackage.h"

#include <QIODevice>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>
#include <quazip/quazipnewinfo.h>
#include <quazip/unzip.h>

#include <algorithm>
#include <cstring>

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

// The zip library reads headers a byte or two at a time. Through QIODevice each such read cost
// more than the template's XML, so it reads the archive in memory directly.
uLong ZCALLBACK readMemory(voidpf, voidpf stream, void *buffer, uLong size)
{
    auto *memory = static_cast<XlsxPackage::MemoryStream *>(stream);
    const qint64 count = std::clamp<qint64>(memory->bytes.size() - memory->position, 0, qint64(size));
    std::memcpy(buffer, memory->bytes.constData() + memory->position, size_t(count));
    memory->position += count;
    return uLong(count);
}

uLong ZCALLBACK tellMemory(voidpf, voidpf stream)
{
    return uLong(static_cast<XlsxPackage::MemoryStream *>(stream)->position);
}

int ZCALLBACK seekMemory(voidpf, voidpf stream, uLong offset, int origin)
{
    auto *memory = static_cast<XlsxPackage::MemoryStream *>(stream);
    qint64 base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR)
        base = memory->position;
    else if (origin == ZLIB_FILEFUNC_SEEK_END)
        base = memory->bytes.size();
    const qint64 target = base + qint64(offset);
    if (target < 0 || target > memory->bytes.size())
        return -1;
    memory->position = target;
    return 0;
}

voidpf ZCALLBACK openMemory(voidpf opaque, voidpf, int)
{
    return opaque;
}

uLong ZCALLBACK refuseWrite(voidpf, voidpf, const void *, uLong)
{
    return 0;
}

int ZCALLBACK closeMemory(voidpf, voidpf)
{
    return 0;
}

// Setting up a deflate stream touches a quarter megabyte of fresh memory, which took longer than
// the rest of a chart's save; a few kilobytes stored as they are cost next to nothing in size.
int methodFor(const QByteArray &part)
{
    return part.size() < 65536 ? 0 : Z_DEFLATED;
}

} // namespace

// The central directory is parsed once; looking entries up by name through the zip library
// would re-read it for every part.
struct XlsxPackage::Entry
{
    QuaZipFileInfo64 info;
    unz64_file_pos position{};
};

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
    entries.clear();
    names.clear();
    byFoldedName.clear();
    inflated = 0;
    detail.clear();
    limits = newLimits;
    if (archive.size() > limits.archiveBytes)
        return fail(XlsxError::TooLarge, {});
    memory.bytes = archive;
    memory.position = 0;
    // QuaZip wants an open device even when the functions below do all the reading.
    buffer.setData(QByteArray());
    buffer.open(QIODevice::ReadOnly);
    zlib_filefunc_def io{openMemory, readMemory,  refuseWrite, tellMemory,
                         seekMemory, closeMemory, closeMemory, &memory};
    zip = std::make_unique<QuaZip>(&buffer);
    if (!zip->open(QuaZip::mdUnzip, &io)) {
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
        Entry entry;
        if (!zip->getCurrentFileInfo(&entry.info) ||
            unzGetFilePos64(zip->getUnzFile(), &entry.position) != UNZ_OK)
            return fail(XlsxError::Corrupt, {});
        const QString &name = entry.info.name;
        if (isUnsafeName(name))
            return fail(XlsxError::UnsafeEntryName, name);
        // A save copies the parts it does not change as they are stored, flags aside, so an
        // encrypted one would come out as garbage; Excel refuses such a package too.
        if (entry.info.flags & 1)
            return fail(XlsxError::Encrypted, name);
        const QString folded = name.toCaseFolded();
        if (byFoldedName.contains(folded))
            return fail(XlsxError::DuplicateEntryName, name);
        byFoldedName.insert(folded, int(entries.size()));
        names.append(name);
        entries.append(entry);
    }
    if (zip->getZipError() != UNZ_OK)
        return fail(XlsxError::Corrupt, {});
    // The scan ran off the end; QuaZipFile wants a current file, and goTo() moves it from here.
    if (!entries.isEmpty() && !zip->goToFirstFile())
        return fail(XlsxError::Corrupt, {});
    return XlsxError::None;
}

QString XlsxPackage::find(const QString &name) const
{
    const auto it = byFoldedName.constFind(name.toCaseFolded());
    return it == byFoldedName.constEnd() ? QString() : names.at(*it);
}

bool XlsxPackage::goTo(int index)
{
    return zip && index >= 0 && index < entries.size() &&
           unzGoToFilePos64(zip->getUnzFile(), &entries[index].position) == UNZ_OK;
}

XlsxError XlsxPackage::read(const QString &name, QByteArray *out)
{
    out->clear();
    const int index = byFoldedName.value(name.toCaseFolded(), -1);
    if (!goTo(index))
        return fail(XlsxError::Corrupt, name);
    const QuaZipFileInfo64 &info = entries.at(index).info;
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
                             const QSet<QString> &dropped, const QList<QPair<QString, QByteArray>> &added)
{
    archive->clear();
    if (!zip)
        return fail(XlsxError::NotOpen, {});
    QBuffer device(archive);
    device.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    QuaZip target(&device);
    target.setDataDescriptorWritingEnabled(false);
    if (!target.open(QuaZip::mdCreate))
        return fail(XlsxError::WriteFailed, {});
    for (int index = 0; index < entries.size(); ++index) {
        const QString &name = names.at(index);
        if (dropped.contains(name))
            continue;
        if (!goTo(index))
            return fail(XlsxError::Corrupt, name);
        const QuaZipFileInfo64 &info = entries.at(index).info;
        QuaZipNewInfo newInfo(info);
        QuaZipFile out(&target);
        const auto replacement = replaced.constFind(name);
        if (replacement != replaced.constEnd()) {
            newInfo.uncompressedSize = 0;
            if (!out.open(QIODevice::WriteOnly, newInfo, nullptr, 0, methodFor(*replacement), Z_BEST_SPEED) ||
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
    for (const auto &[name, data] : added) {
        QuaZipFile out(&target);
        QuaZipNewInfo newInfo(name);
        if (!entries.isEmpty())
            newInfo.dateTime = entries.constFirst().info.dateTime;
        if (!out.open(QIODevice::WriteOnly, newInfo, nullptr, 0, methodFor(data), Z_BEST_SPEED) ||
            out.write(data) != data.size())
            return fail(XlsxError::WriteFailed, name);
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
