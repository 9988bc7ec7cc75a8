#include "testenvironment.h"

#include "appdirectory.h"

#include <QDir>
#include <QtTest>

namespace Velmora::Test {

QString freshApplicationDirectory()
{
    QString path = qEnvironmentVariable("VELMORA_TEST_APPDIR");
    if (path.isEmpty())
        path = QDir::temp().filePath(QStringLiteral("velmora-test-appdir"));
    QDir dir(path);
    if (dir.exists())
        dir.removeRecursively();
    if (!QDir().mkpath(path))
        qFatal("cannot create the test application directory %s", qUtf8Printable(path));
    setApplicationDirectoryOverride(path);
    return path;
}

QString sourceDirectory()
{
    return qEnvironmentVariable("VELMORA_SOURCE_DIR");
}

QString stageDirectory()
{
    return qEnvironmentVariable("VELMORA_STAGE_DIR");
}

} // namespace Velmora::Test
