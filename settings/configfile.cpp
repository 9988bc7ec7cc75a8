#include "configfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextCodec>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace Velmora::ConfigFile {

namespace {

// QSettings compares INI keys without case on Windows only; the sections must be told apart the
// same way, or a section would be kept raw and read again beside the program's own.
#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity keyCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity keyCase = Qt::CaseSensitive;
#endif

struct Range
{
    qsizetype start = 0;
    qsizetype length = 0;
};

struct Document
{
    Encoding encoding = Encoding::Missing; // as the file was read
    bool backupPending = false;            // the original must be kept before it is replaced
    QByteArray text;                       // the file as UTF-8; the kept ranges point into it
    QList<Range> rootKept;                 // entries before any section, written first
    QList<Range> kept;                     // whole sections that are not the program's
    QByteArray owned;                      // the program's sections, as INI text
    bool exists = false;
    qint64 size = -1;
    QDateTime modified;
    // The owned sections as a file for QSettings to read, made once per version of them: the
    // start reads config.ini twice, and QSettings parses an unchanged file only once.
    std::shared_ptr<QTemporaryDir> readCopy;
};

QHash<QString, Document> &documents()
{
    static QHash<QString, Document> cache;
    return cache;
}

QString keyOf(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

// Rejects what a strict decoder rejects: overlong forms, surrogates, code points past U+10FFFF and
// sequences cut short, the end of the file included.
bool isUtf8(QByteArrayView data)
{
    const auto *bytes = reinterpret_cast<const uchar *>(data.data());
    const qsizetype size = data.size();
    qsizetype i = 0;
    while (i < size) {
        const uchar lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int extra = 0;
        uint minimum = 0;
        uint code = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1, minimum = 0x80, code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, minimum = 0x800, code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, minimum = 0x10000, code = lead & 0x07;
        } else {
            return false;
        }
        if (i + extra >= size)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const uchar next = bytes[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// Piece by piece, so that the whole text never exists in UTF-16 beside the file and its UTF-8
// form. `decode` carries partial sequences over from one piece to the next.
QByteArray toUtf8InPieces(QByteArrayView raw, const std::function<QString(QByteArrayView)> &decode)
{
    constexpr qsizetype pieceSize = 1 << 20;
    QByteArray utf8;
    QString pending;
    for (qsizetype at = 0; at < raw.size(); at += pieceSize) {
        QString part = pending + decode(raw.sliced(at, std::min(pieceSize, raw.size() - at)));
        pending.clear();
        // A surrogate pair may straddle two pieces; its halves are encoded together.
        if (!part.isEmpty() && part.back().isHighSurrogate()) {
            pending = part.back();
            part.chop(1);
        }
        utf8 += part.toUtf8();
    }
    return utf8 + pending.toUtf8();
}

QByteArray transcode(QByteArray raw, Encoding *encoding)
{
    if (raw.startsWith("\xEF\xBB\xBF")) {
        raw.remove(0, 3);
        *encoding = isUtf8(raw) ? Encoding::Utf8Bom : Encoding::Undecodable;
        return *encoding == Encoding::Undecodable ? QByteArray() : raw;
    }
    const bool littleEndian = raw.startsWith("\xFF\xFE");
    if (littleEndian || raw.startsWith("\xFE\xFF")) {
        if (raw.size() % 2 != 0) {
            *encoding = Encoding::Undecodable;
            return {};
        }
        QStringDecoder decoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        QByteArray text = toUtf8InPieces(QByteArrayView(raw).sliced(2),
                                         [&decoder](QByteArrayView piece) { return decoder(piece); });
        if (decoder.hasError()) {
            *encoding = Encoding::Undecodable;
            return {};
        }
        *encoding = littleEndian ? Encoding::Utf16LE : Encoding::Utf16BE;
        return text;
    }
    if (isUtf8(raw)) {
        *encoding = Encoding::Utf8;
        return raw;
    }
    // Notepad's "ANSI" on a Chinese Windows is GBK, of which GB18030 is the superset.
    if (QTextCodec *codec = QTextCodec::codecForName("GB18030")) {
        QTextCodec::ConverterState state;
        qsizetype replacements = 0;
        QByteArray text = toUtf8InPieces(raw, [&](QByteArrayView piece) {
            QString part = codec->toUnicode(piece.data(), int(piece.size()), &state);
            replacements += part.count(QChar::ReplacementCharacter);
            return part;
        });
        // The ICU decoder does not count what it replaces; a replacement character that the file
        // does not spell out itself (84 31 A4 37) is such a place.
        const bool replaced = replacements > raw.count("\x84\x31\xA4\x37");
        if (state.invalidChars == 0 && state.remainingChars == 0 && !replaced) {
            *encoding = Encoding::Gbk;
            return text;
        }
    }
    *encoding = Encoding::Undecodable;
    return {};
}

// One logical line of an INI file by QSettings' rules: leading blanks and ';' comment lines are
// skipped, a quoted part and a backslash escape may run over a line end, and an unquoted ';'
// ends the line. `equals` is the first unquoted '=' or -1.
bool nextLine(QByteArrayView data, qsizetype &pos, qsizetype &start, qsizetype &length, qsizetype &equals)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    const qsizetype size = data.size();
    equals = -1;
    start = pos;
    while (start < size && isBlank(data[start]))
        ++start;
    bool quoted = false;
    qsizetype i = start;
    while (i < size) {
        const char c = data[i++];
        if (c == '=') {
            if (!quoted && equals < 0)
                equals = i - 1;
        } else if (c == '\n' || c == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!quoted) {
                --i;
                break;
            }
        } else if (c == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (i < size &&
                    ((escaped == '\n' && data[i] == '\r') || (escaped == '\r' && data[i] == '\n')))
                    ++i;
            }
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';') {
            if (i == start + 1) {
                while (i < size && data[i] != '\n' && data[i] != '\r')
                    ++i;
                while (i < size && isBlank(data[i]))
                    ++i;
                start = i;
            } else if (!quoted) {
                --i;
                break;
            }
        }
    }
    pos = i;
    length = i - start;
    return length > 0;
}

// A section name or key as QSettings reads it: '\' is '/', %XX and %UXXXX are characters.
QString unescapedKey(QByteArrayView raw)
{
    const QString text = QString::fromUtf8(raw);
    QString key;
    key.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (c == u'%' && i + 1 < text.size()) {
            const qsizetype digitsAt = text.at(i + 1) == u'U' ? i + 2 : i + 1;
            const qsizetype digits = digitsAt == i + 2 ? 4 : 2;
            bool ok = false;
            const ushort code = digitsAt + digits <= text.size()
                                    ? QStringView(text).sliced(digitsAt, digits).toUShort(&ok, 16)
                                    : 0;
            if (ok) {
                key += QChar(code);
                i = digitsAt + digits;
                continue;
            }
        }
        key += c;
        ++i;
    }
    return key;
}

bool isOwned(const QString &key)
{
    static const QStringList sections = [] {
        QStringList names = {u"Male"_s,  u"Female"_s,         u"Leaders"_s,     u"Boarders"_s,
                             u"Style"_s, u"FixedPositions"_s, u"Constraints"_s, u"Scores"_s};
        for (int i = 0; i < 10; ++i)
            names.append(u"GroupConfig_"_s + QString::number(i));
        return names;
    }();
    for (const QString &section : sections) {
        if (key.startsWith(section, keyCase) &&
            (key.size() == section.size() || key.at(section.size()) == u'/'))
            return true;
    }
    return false;
}

void appendLine(QByteArray &to, QByteArrayView line)
{
    to += line;
    if (!to.endsWith('\n'))
        to += '\n';
}

// Splits the text into the program's sections, which QSettings gets, and the rest, which is
// only remembered by position. Entries outside any section are judged one by one, since a key
// such as Male\Names there belongs to the program.
void split(Document &document)
{
    const QByteArrayView text(document.text);
    QByteArray ownedRoot;
    QByteArray ownedSections;
    qsizetype pos = 0, start = 0, length = 0, equals = -1;
    bool inRoot = true;
    bool sectionOwned = false;
    qsizetype sectionStart = 0;
    bool lastRootKept = false;

    const auto closeSection = [&](qsizetype end) {
        if (inRoot)
            return;
        const QByteArrayView section = text.sliced(sectionStart, end - sectionStart);
        if (sectionOwned)
            appendLine(ownedSections, section);
        else
            document.kept.append({sectionStart, end - sectionStart});
    };

    while (nextLine(text, pos, start, length, equals)) {
        const QByteArrayView line = text.sliced(start, length);
        if (line.startsWith('[')) {
            closeSection(start);
            qsizetype close = line.indexOf(']');
            if (close < 0)
                close = length;
            const QByteArrayView name = line.first(close).sliced(1).trimmed();
            inRoot = name.compare("general", Qt::CaseInsensitive) == 0;
            sectionOwned =
                !inRoot && name.compare("%general", Qt::CaseInsensitive) != 0 && isOwned(unescapedKey(name));
            sectionStart = start;
            lastRootKept = false;
            continue;
        }
        if (!inRoot || equals < 0)
            continue;
        if (isOwned(unescapedKey(text.sliced(start, equals - start).trimmed()))) {
            appendLine(ownedRoot, line);
            lastRootKept = false;
        } else if (lastRootKept) {
            Range &range = document.rootKept.last();
            range.length = start + length - range.start;
        } else {
            document.rootKept.append({start, length});
            lastRootKept = true;
        }
    }
    closeSection(text.size());
    document.owned = ownedRoot + ownedSections;
}

void stamp(Document &document, const QString &path)
{
    const QFileInfo info(path);
    document.exists = info.exists();
    document.size = document.exists ? info.size() : -1;
    document.modified = document.exists ? info.lastModified() : QDateTime();
}

bool isFresh(const Document &document, const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() != document.exists)
        return false;
    return !info.exists() || (info.size() == document.size && info.lastModified() == document.modified);
}

Document readDocument(const QString &path)
{
    Document document;
    stamp(document, path);
    if (!document.exists || QFileInfo(path).isDir())
        return document;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        // Unreadable is treated as undecodable: whatever it holds must not be overwritten.
        document.encoding = Encoding::Undecodable;
        return document;
    }
    document.text = transcode(file.readAll(), &document.encoding);
    document.backupPending = document.encoding != Encoding::Utf8;
    split(document);
    return document;
}

Document &current(const QString &path, bool fromDisk = false)
{
    QHash<QString, Document> &cache = documents();
    const QString key = keyOf(path);
    auto it = cache.find(key);
    if (it == cache.end() || fromDisk || !isFresh(*it, path))
        it = cache.insert(key, readDocument(path));
    return *it;
}

// QSettings only reads files, so the program's sections get a small file of their own.
std::unique_ptr<QTemporaryDir> makeScratchDir(const QString &path)
{
    // Beside config.ini when the system's temporary folder is locked, as on some school PCs.
    auto dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid())
        dir = std::make_unique<QTemporaryDir>(path + u".XXXXXX"_s);
    return dir->isValid() ? std::move(dir) : nullptr;
}

bool writeOwned(const QTemporaryDir &dir, const QByteArray &owned)
{
    QFile file(dir.filePath(u"config.ini"_s));
    return file.open(QIODevice::WriteOnly) && file.write(owned) == owned.size();
}

bool writeOwnedSettings(const QString &path, QByteArray &owned, const std::function<void(QSettings &)> &use)
{
    const auto dir = makeScratchDir(path);
    if (!dir || !writeOwned(*dir, owned))
        return false;
    const QString iniPath = dir->filePath(u"config.ini"_s);
    {
        QSettings settings(iniPath, QSettings::IniFormat);
        use(settings);
        settings.sync();
        if (settings.status() == QSettings::AccessError)
            return false;
    }
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    owned = file.readAll();
    return true;
}

bool copyFile(const QString &from, const QString &to)
{
    QFile in(from);
    QSaveFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size())
            return false;
    }
    return out.commit();
}

bool sameContent(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (first.size() != second.size() || !first.open(QIODevice::ReadOnly) ||
        !second.open(QIODevice::ReadOnly))
        return false;
    while (!first.atEnd()) {
        if (first.read(1 << 20) != second.read(1 << 20))
            return false;
    }
    return true;
}

// One name for the copy the teacher is told about; an older copy moves aside instead of being lost.
bool backUp(const QString &path)
{
    const QString backup = path + u".bak"_s;
    const QFileInfo existing(backup);
    if (existing.exists() || existing.isSymLink()) {
        if (existing.isFile() && sameContent(path, backup))
            return true;
        const QString stamp = backup + u'-' + QDateTime::currentDateTime().toString(u"yyyyMMdd_hhmmss"_s);
        QString aside = stamp;
        for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
            aside = stamp + u'-' + QString::number(n);
        if (!QFile::rename(backup, aside))
            return false;
    }
    return copyFile(path, backup);
}

bool writeRange(QSaveFile &out, const QByteArray &text, const Range &range)
{
    if (out.write(text.constData() + range.start, range.length) != range.length)
        return false;
    return text.at(range.start + range.length - 1) == '\n' || out.write("\n", 1) == 1;
}

} // namespace

QByteArray decodeToUtf8(const QByteArray &raw, Encoding *encoding)
{
    return transcode(raw, encoding);
}

void read(const QString &path, const std::function<void(QSettings &)> &read)
{
    Document &document = current(path);
    std::shared_ptr<QTemporaryDir> copy = document.readCopy;
    if (!copy) {
        copy = makeScratchDir(path);
        if (!copy || !writeOwned(*copy, document.owned))
            return;
        // A copy beside config.ini, where the temporary folder is locked, goes at once rather
        // than lie next to the teacher's file for the whole session.
        if (QFileInfo(copy->path()).absolutePath() != QFileInfo(path).absolutePath())
            document.readCopy = copy;
    }
    QSettings settings(copy->filePath(u"config.ini"_s), QSettings::IniFormat);
    read(settings);
}

WriteResult write(const QString &path, const std::function<void(QSettings &)> &write)
{
    Document &document = current(path);
    WriteResult result;
    const bool redirected = document.encoding == Encoding::Undecodable;
    result.target = redirected ? redirectedPath(path) : path;

    QByteArray owned = document.owned;
    if (!writeOwnedSettings(path, owned, write))
        return result;
    if (document.backupPending && !redirected && document.exists) {
        if (!backUp(path))
            return result;
        document.backupPending = false;
    }

    QDir().mkpath(QFileInfo(result.target).absolutePath());
    QSaveFile out(result.target);
    if (!out.open(QIODevice::WriteOnly))
        return result;
    bool ok = true;
    for (const Range &range : std::as_const(document.rootKept))
        ok = ok && writeRange(out, document.text, range);
    ok = ok && out.write(owned) == owned.size();
    if (ok && !owned.isEmpty() && !owned.endsWith('\n'))
        ok = out.write("\n", 1) == 1;
    for (const Range &range : std::as_const(document.kept))
        ok = ok && writeRange(out, document.text, range);
    if (!ok || !out.commit())
        return result;

    document.owned = owned;
    document.readCopy.reset();
    if (!redirected)
        stamp(document, path);
    result.written = true;
    return result;
}

bool keepBackup(const QString &path)
{
    Document &document = current(path);
    if (!document.exists || document.encoding == Encoding::Undecodable)
        return true;
    document.backupPending = true;
    if (!backUp(path))
        return false;
    document.backupPending = false;
    return true;
}

qsizetype keyOffset(const QString &path, const QString &key)
{
    const QByteArray &owned = current(path).owned;
    // The key alone in its section, or with the section before it outside any section.
    const QRegularExpression line(u"^[ \\t]*(?:[^=\\n]*[\\\\/])?"_s + QRegularExpression::escape(key) +
                                      u"[ \\t]*="_s,
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(owned));
    return match.hasMatch() ? match.capturedStart() : -1;
}

void forget(const QString &path)
{
    documents().remove(keyOf(path));
}

Encoding encoding(const QString &path)
{
    return current(path).encoding;
}

QString encodingNote(const QString &path)
{
    QString name;
    QString readAs;
    switch (current(path).encoding) {
    case Encoding::Utf8Bom:
        name = u"UTF-8（带 BOM）"_s;
        readAs = u"UTF-8"_s;
        break;
    case Encoding::Utf16LE:
        name = u"UTF-16 LE"_s;
        break;
    case Encoding::Utf16BE:
        name = u"UTF-16 BE"_s;
        break;
    case Encoding::Gbk:
        name = u"GBK"_s;
        break;
    default:
        return {};
    }
    return u"配置文件编码为 %1，已按 %2 读取"_s.arg(name, readAs.isEmpty() ? name : readAs);
}

QString redirectedPath(const QString &path)
{
    return path + u".new"_s;
}

} // namespace Velmora::ConfigFile
