#pragma once

#include <QString>

#include <functional>

class QSettings;

namespace Velmora {

// config.ini as a teacher's editor may have written it. The encoding is decided before QSettings
// sees a byte: the program's own sections are handed to QSettings as UTF-8, everything else in the
// file is kept as it stands and written back unchanged. What was read stays in memory, so a save
// writes from it instead of parsing the file again, and replaces the file in one atomic write.
namespace ConfigFile {

enum class Encoding
{
    Missing,
    Utf8,
    Utf8Bom,
    Utf16LE,
    Utf16BE,
    Gbk,
    Undecodable
};

// Text as a teacher's editor or spreadsheet writes it: a byte-order mark (UTF-8, UTF-16 LE/BE),
// else strict UTF-8, else GB18030. Returns UTF-8, or nothing with Undecodable when none fits.
QByteArray decodeToUtf8(const QByteArray &raw, Encoding *encoding);

// Reads the file (again, when it changed since it was last read or written) and runs `read` on a
// QSettings that holds the program's sections.
void read(const QString &path, const std::function<void(QSettings &)> &read);

struct WriteResult
{
    bool written = false;
    QString target; // where the file went: the path, or beside it when the file can't be read
};

// Runs `write` on a QSettings holding the program's sections as last read or written, then writes
// the whole file at once. A file that was not plain UTF-8 is first kept as by keepBackup(); a file
// that could not be decoded is never replaced: the settings go to path + ".new".
WriteResult write(const QString &path, const std::function<void(QSettings &)> &write);

// Keeps a copy of the file as it is on the disk as path + ".bak" now, rather than at the next
// write. A ".bak" that holds something else (an earlier original) is first renamed aside with the
// date and time appended, never overwritten. Returns false when no copy could be made; every
// later write then fails, so the file is never changed without its copy.
bool keepBackup(const QString &path);

// Where the first line that sets `key` (a key of the program's own, without its section) stands
// among the program's sections of the file; -1 when no line does. Tells the order of two keys.
qsizetype keyOffset(const QString &path, const QString &key);

// Drops what is remembered of the file, so that the next read takes it from the disk.
void forget(const QString &path);

// How the file was read.
Encoding encoding(const QString &path);

// The plain log line for a file read in another encoding than plain UTF-8; empty otherwise.
QString encodingNote(const QString &path);

// Where the settings go instead of a file that can't be decoded.
QString redirectedPath(const QString &path);

} // namespace ConfigFile
} // namespace Velmora
