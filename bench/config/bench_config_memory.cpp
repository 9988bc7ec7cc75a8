// Peak memory of a start and the shutdown save with a 50 MB config.ini: the sample class plus junk
// keys: in a section of their own, before any section, and in a section of a UTF-16 file. Each case runs in a
// child process of its own, so that one case's peak does not hide another's.
#include "appdirectory.h"
#include "childcase.h"
#include "configstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

constexpr double goalMegabytes = 150;
constexpr qint64 fileBytes = 50 * 1000 * 1000;

QByteArray sampleClass()
{
    QFile file(qEnvironmentVariable("VELMORA_SOURCE_DIR") + u"/examples/sample-class/config.ini"_s);
    if (!file.open(QIODevice::ReadOnly))
        return "[Male]\nNames=A, B\n[Female]\nNames=C, D\n";
    return file.readAll() + '\n';
}

QByteArray junk(qint64 bytes)
{
    QByteArray text;
    text.reserve(bytes + 100);
    for (int i = 0; text.size() < bytes; ++i)
        text += "junk" + QByteArray::number(i) + "=a value nobody reads, kept because it was there\n";
    return text;
}

bool writeCase(const QString &path, const QString &name)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray clazz = sampleClass();
    if (name == u"root"_s)
        return file.write(junk(fileBytes - clazz.size())) > 0 && file.write(clazz) > 0;
    if (name == u"utf16"_s) {
        // Notepad's "Unicode": two bytes a character, so half as many characters fill the file.
        const QString text = QString::fromUtf8(clazz + "[Junk]\n" + junk(fileBytes / 2 - clazz.size()));
        return file.write("\xFF\xFE") == 2 &&
               file.write(reinterpret_cast<const char *>(text.utf16()), text.size() * 2) > 0;
    }
    return file.write(clazz) > 0 && file.write("[Junk]\n" + junk(fileBytes - clazz.size())) > 0;
}

// In the child: the start and the shutdown save, as the window does them.
int runCase(const QString &dir)
{
    setApplicationDirectoryOverride(dir);
    QElapsedTimer timer;
    timer.start();
    ClassState state;
    ConfigStore::loadConfiguration(state);
    state.groupConfigs = defaultGroupConfigs();
    ConfigStore::loadGroupConfiguration(state);
    if (state.roster.maleNames.isEmpty() || !ConfigStore::saveGroupConfiguration(state))
        return 1;
    Bench::printPeakAnd({timer.elapsed()});
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--case") == 0)
        return runCase(QString::fromLocal8Bit(argv[2]));

    bool met = true;
    for (const QString &name : {u"section"_s, u"root"_s, u"utf16"_s}) {
        QTemporaryDir dir;
        if (!dir.isValid() || !writeCase(dir.filePath(u"config.ini"_s), name)) {
            std::fprintf(stderr, "cannot write the %s case\n", qPrintable(name));
            return 1;
        }
        const auto fields = Bench::runChildCase(name, {u"--case"_s, dir.path()});
        if (!fields)
            return 1;
        const double megabytes = Bench::peakMegabytes(*fields);
        const bool ok = megabytes < goalMegabytes;
        met = met && ok;
        std::printf(
            "config.ini 50 MB, junk in %-7s: peak %.0f MB (goal < %.0f MB: %s), start and save %s ms\n",
            qPrintable(name), megabytes, goalMegabytes, ok ? "met" : "missed", fields->value(1).constData());
    }
    return met ? 0 : 1;
}
