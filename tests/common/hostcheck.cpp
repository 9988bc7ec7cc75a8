#include "hostcheck.h"

#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace Velmora::Test {

namespace {

QString checkDirectory()
{
    const QString path = qEnvironmentVariable("VELMORA_HOST_CHECK_DIR");
    if (path.isEmpty())
        qFatal("VELMORA_HOST_CHECK_DIR is not set: register the test with HOST_CHECKS");
    QDir().mkpath(path);
    return path;
}

// Checks left by an earlier run would be judged again as if this one had written them.
void forgetEarlierChecks()
{
    const QString path = qEnvironmentVariable("VELMORA_HOST_CHECK_DIR");
    if (!path.isEmpty())
        QDir(path).removeRecursively();
}
Q_CONSTRUCTOR_FUNCTION(forgetEarlierChecks)

QString currentCheckName()
{
    QString name = QString::fromLatin1(QTest::currentTestFunction());
    if (const char *tag = QTest::currentDataTag())
        name += u'.' + QString::fromUtf8(tag);
    static const QRegularExpression unsafe(u"[^A-Za-z0-9_.-]"_s);
    return name.replace(unsafe, u"_"_s);
}

} // namespace

bool hostProgramsRunHere()
{
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
}

QString keepForHost(const QString &path)
{
    const QDir dir(checkDirectory() + u'/' + currentCheckName());
    dir.mkpath(u"."_s);
    const QString copy = dir.filePath(QFileInfo(path).fileName());
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        qFatal("cannot keep %s for the host-side check", qUtf8Printable(path));
    return copy;
}

QString csvBeside(const QString &keptWorkbook)
{
    const QFileInfo info(keptWorkbook);
    return info.dir().filePath(info.completeBaseName() + u".csv"_s);
}

void deferToHost(const QJsonArray &steps)
{
    QFile job(checkDirectory() + u'/' + currentCheckName() + u".json"_s);
    if (!job.open(QIODevice::WriteOnly) || job.write(QJsonDocument(steps).toJson()) < 0)
        qFatal("cannot write %s", qUtf8Printable(job.fileName()));
}

void checkWithScript(const QString &script, const QStringList &files, const QString &key,
                     const QJsonArray &items)
{
    const bool here = hostProgramsRunHere();
    QJsonArray run{u"python3"_s, QString(sourceDirectory() + u'/' + script)};
    for (const QString &file : files)
        run.append(here ? file : keepForHost(file));
    for (const QJsonValue &item : items) {
        if (const QString asked = item[key].toString(); !asked.startsWith(u'@'))
            run.append(asked);
    }
    if (!here) {
        deferToHost(
            {QJsonObject{{u"run"_s, run}, {u"expect"_s, QJsonObject{{u"key"_s, key}, {u"items"_s, items}}}}});
        return;
    }
    QStringList arguments;
    for (qsizetype i = 1; i < run.size(); ++i)
        arguments << run.at(i).toString();
    QProcess process;
    process.start(u"/usr/bin/python3"_s, arguments);
    QVERIFY(process.waitForFinished(300000));
    QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
    QHash<QString, QJsonObject> seen;
    for (const QJsonValue &entry : QJsonDocument::fromJson(process.readAllStandardOutput()).array())
        seen.insert(entry[key].toString(), entry.toObject());
    QStringList wrong;
    for (const QJsonValue &item : items) {
        const QJsonObject got = seen.value(item[key].toString());
        const QJsonObject expected = item.toObject();
        bool same = true;
        for (auto it = expected.begin(); it != expected.end(); ++it)
            same = same && got.value(it.key()) == it.value();
        if (!same)
            wrong << item[key].toString() + u": "_s +
                         QString::fromUtf8(QJsonDocument(got).toJson(QJsonDocument::Compact));
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
}

} // namespace Velmora::Test
