// Time and peak memory of a class-list import on the files that used to stall it: a line of ten
// million commas, a million rows, a name of ten million characters, a workbook of 20,000 rows; and
// of the two steps after the preview, applying 20,000 pupils and filling a name box with a million
// names. Each case runs in a child process of its own, so that one case's peak does not hide
// another's.
#include "childcase.h"
#include "namelistedit.h"
#include "rosterimport.h"
#include "xlsxdocument.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using namespace Velmora;

namespace {

struct Case
{
    const char *name;
    double goalMilliseconds;
    double goalMegabytes;
};

// A refused file is refused at once; the steps after the preview stay linear.
const Case cases[] = {
    {"commas-10M", 200, 80},      {"commas-100K", 20, 40},  {"rows-1M", 400, 120},
    {"name-10M", 200, 80},        {"quoted-32M", 600, 160}, {"xlsx-20000-rows", 600, 120},
    {"xlsx-1000x200", 2000, 260}, {"class-48", 20, 40},     {"apply-20000", 100, 60},
    {"boxes-1000", 100, 60},      {"boxes-1M", 6000, 600},
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray rows(int count)
{
    QByteArray csv = "学号,姓名,性别,职务\n";
    for (int i = 1; i <= count; ++i)
        csv += QByteArray::number(i) + ",学生" + QByteArray::number(i) + (i % 2 ? ",男," : ",女,") +
               (i % 6 == 1 ? "组长\n" : "\n");
    return csv;
}

// The files are made by a child of their own: Linux keeps the peak of a process across exec, so a
// parent that had made them would pass its peak on to the child that reads them.
bool makeFile(const QString &dir, const QString &name, QString *path)
{
    *path = QDir(dir).filePath(name + u".csv"_s);
    if (name == u"commas-10M"_s)
        return writeFile(*path, QByteArray(10'000'000, ','));
    if (name == u"commas-100K"_s)
        return writeFile(*path, QByteArray(100'000, ','));
    if (name == u"rows-1M"_s)
        return writeFile(*path, rows(1'000'000));
    if (name == u"name-10M"_s)
        return writeFile(*path, "姓名,性别\n" + QByteArray(10'000'000, 'x') + ",男\n");
    if (name == u"quoted-32M"_s)
        return writeFile(*path, "姓名,性别\n\"" + QByteArray(32 * 1024 * 1024 - 100, 'y') + "\",男\n");
    if (name == u"class-48"_s)
        return writeFile(*path, rows(48));
    if (name.startsWith(u"xlsx"_s)) {
        // The largest list taken (1,000 pupils under a header, 200 columns), or a long one refused.
        const bool widest = name == u"xlsx-1000x200"_s;
        *path = QDir(dir).filePath(name + u".xlsx"_s);
        XlsxDocument document;
        if (!document.open(qEnvironmentVariable("VELMORA_SOURCE_DIR") + u"/templates/座位样式1.xlsx"_s))
            return false;
        document.setCellText(1, 1, u"姓名"_s);
        document.setCellText(1, 2, u"性别"_s);
        for (int row = 2; row <= (widest ? 1001 : 20001); ++row) {
            document.setCellText(row, 1, u"学生%1"_s.arg(row));
            document.setCellText(row, 2, u"男"_s);
            for (int column = 3; widest && column <= 200; ++column)
                document.setCellText(row, column, u"备注"_s);
        }
        return document.saveAs(*path);
    }
    path->clear();
    return true;
}

QStringList studentNames(int count)
{
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.append(u"学生"_s + QString::number(i));
    return names;
}

// In the child: one step as the settings dialog takes it. Returns false when the step failed.
bool runStep(const QString &name, const QString &path)
{
    if (!path.isEmpty()) {
        // Refused in one message or in the rows: either ends the import, only the class is taken.
        const SheetReadResult read = RosterImport::readClassList(path);
        if (!read.ok())
            std::fprintf(stderr, "%s\n", qUtf8Printable(read.error));
        const RosterImport::Mapping mapping = RosterImport::guessMapping(read.table);
        const qsizetype taken = RosterImport::readPupils(read.table, mapping).pupils.size();
        return name == u"class-48"_s ? taken == 48 : name == u"xlsx-1000x200"_s ? taken == 1000 : taken == 0;
    }
    if (name == u"apply-20000"_s) {
        QList<RosterImport::Pupil> pupils;
        for (int i = 0; i < 20000; ++i)
            pupils.append({u"新生"_s + QString::number(i), i % 2 == 0, i % 3 == 0, i % 5 == 0, i + 2});
        RosterImport::Mapping mapping;
        mapping.columns = {0, 1, 2, 3};
        RosterImport::RosterLists current;
        current.maleNames = studentNames(20000);
        current.leaderNames = current.maleNames;
        const auto replaced = RosterImport::apply(current, pupils, RosterImport::Mode::Replace, mapping);
        const auto added = RosterImport::apply(current, pupils, RosterImport::Mode::Add, mapping);
        return replaced.leaderNames.size() == 6667 && added.leaderNames.size() == 20000 + 6667;
    }
    const int count = name == u"boxes-1M"_s ? 1'000'000 : 1000;
    const QStringList names = studentNames(count);
    NameListEdit edit;
    edit.resize(300, 400);
    edit.setNames(names);
    edit.show();
    QApplication::processEvents();
    return edit.names() == names;
}

int runCase(const QString &name, const QString &path)
{
    const double start = Bench::processorMilliseconds();
    if (!runStep(name, path))
        return 1;
    Bench::printPeakAnd({std::llround(Bench::processorMilliseconds() - start)});
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Only the name boxes need widgets; the rest is measured without their start-up cost.
    if (argc == 4 && qstrcmp(argv[1], "--case") == 0) {
        const QString name = QString::fromLocal8Bit(argv[2]);
        std::unique_ptr<QCoreApplication> app;
        if (name.startsWith(u"boxes"_s))
            app = std::make_unique<QApplication>(argc, argv);
        else
            app = std::make_unique<QCoreApplication>(argc, argv);
        return runCase(name, QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--make") == 0) {
        QString path;
        if (!makeFile(QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[2]), &path))
            return 1;
        std::printf("%s\n", qUtf8Printable(path));
        return 0;
    }

    QTemporaryDir dir;
    bool met = true;
    for (const Case &c : cases) {
        const QString name = QString::fromLatin1(c.name);
        QProcess maker;
        maker.start(QCoreApplication::applicationFilePath(), {u"--make"_s, name, dir.path()});
        if (!dir.isValid() || !maker.waitForFinished(600000) || maker.exitCode() != 0) {
            std::fprintf(stderr, "cannot make the %s case\n", c.name);
            return 1;
        }
        const QString path = QString::fromUtf8(maker.readAllStandardOutput().trimmed());
        const auto fields = Bench::runChildCase(name, {u"--case"_s, name, path});
        if (!fields)
            return 1;
        if (!path.isEmpty())
            QFile::remove(path);
        const double megabytes = Bench::peakMegabytes(*fields);
        const double milliseconds = fields->value(1).toDouble();
        const bool ok = megabytes < c.goalMegabytes && milliseconds < c.goalMilliseconds;
        met = met && ok;
        std::printf("import %-16s %6.0f ms processor time (goal < %.0f), peak %4.0f MB (goal < %.0f): %s\n",
                    c.name, milliseconds, c.goalMilliseconds, megabytes, c.goalMegabytes,
                    ok ? "met" : "missed");
    }
    return met ? 0 : 1;
}
