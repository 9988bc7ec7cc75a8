#include "appdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {
QString &overridePath()
{
    static QString path;
    return path;
}

DirectoryLayout &currentLayout()
{
#ifdef VELMORA_INSTALLED_LAYOUT
    static DirectoryLayout layout = DirectoryLayout::Installed;
#else
    static DirectoryLayout layout = DirectoryLayout::Portable;
#endif
    return layout;
}

// The folder is checked once per process and path; a failure is reported once, and the program
// carries on so that saving later fails with the message the user can act on.
QString preparedDataDirectory()
{
    static QString prepared;
    QString path = userDataDirectory();
    if (path != prepared) {
        prepared = path;
        QString error;
        if (!populateDataDirectory(path, shippedDataDirectory(), &error))
            qWarning("%s", qUtf8Printable(error));
    }
    return path;
}
} // namespace

DirectoryLayout directoryLayout()
{
    return currentLayout();
}

void setDirectoryLayout(DirectoryLayout layout)
{
    currentLayout() = layout;
}

QString applicationDirectory()
{
    if (!overridePath().isEmpty())
        return overridePath();
    if (currentLayout() == DirectoryLayout::Installed)
        return preparedDataDirectory();
    return QCoreApplication::applicationDirPath();
}

void setApplicationDirectoryOverride(const QString &path)
{
    overridePath() = path;
}

QString userDataDirectory()
{
    // A relative XDG_DATA_HOME is invalid and must be ignored; it would otherwise resolve against
    // whatever folder the program happened to be started from.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.local/share"_s;
    return QDir::cleanPath(base + u"/velmora"_s);
}

QString shippedDataDirectory()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/velmora"_s);
}

bool populateDataDirectory(const QString &dataDir, const QString &shippedDir, QString *error)
{
    QStringList failures;
    if (!QDir().mkpath(dataDir) || !QFileInfo(dataDir).isDir()) {
        failures << u"cannot create the data folder %1"_s.arg(QDir::toNativeSeparators(dataDir));
    } else {
        const QDir shipped(shippedDir);
        if (!shipped.exists())
            failures << u"the shipped templates are missing from %1"_s.arg(
                QDir::toNativeSeparators(shippedDir));
        const QStringList workbooks = shipped.entryList({u"*.xlsx"_s}, QDir::Files | QDir::Readable);
        for (const QString &name : workbooks) {
            const QString target = QDir(dataDir).filePath(name);
            // exists() follows links: a dangling link is not the user's file and gets replaced.
            if (QFileInfo::exists(target))
                continue;
            QFile::remove(target);
            // QFile::copy writes a temporary file and renames it, so an interrupted start never
            // leaves a half-written template that a later start would take for the user's own.
            if (!QFile::copy(shipped.filePath(name), target)) {
                failures << u"cannot copy %1 to %2"_s.arg(name, QDir::toNativeSeparators(dataDir));
                continue;
            }
            // Packaged files are read-only for the user; the copy is theirs to edit.
            QFile(target).setPermissions(QFile(target).permissions() | QFile::WriteOwner | QFile::ReadOwner);
        }
    }
    if (error)
        *error = failures.join(u"; "_s);
    return failures.isEmpty();
}

} // namespace Velmora
