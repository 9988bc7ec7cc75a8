#include "hostcheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
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

} // namespace Velmora::Test
