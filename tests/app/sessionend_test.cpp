#include "singleinstance.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace Velmora;

// Logging out, shutting down or closing a terminal: the program ends as if its window was closed.
class SessionEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signal_data();
    void signal();
};

void SessionEndTest::signal_data()
{
    QTest::addColumn<int>("number");

    QTest::newRow("sigterm_savedLockGone") << int(SIGTERM);
    QTest::newRow("sighup_savedLockGone") << int(SIGHUP);
    QTest::newRow("sigint_savedLockGone") << int(SIGINT);
}

void SessionEndTest::signal()
{
    QFETCH(int, number);
    const QString folder = Test::freshApplicationDirectory();
    const QString config = folder + u"/config.ini"_s;
    {
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(u"[Male]\nNames=张伟\n[Female]\nNames=王芳\n"_s.toUtf8());
    }
    QProcess child;
    child.start(QCoreApplication::applicationDirPath() + u"/sessionend_child"_s, {folder});
    QVERIFY2(child.waitForReadyRead(60000), qPrintable(child.errorString()));
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("ready"));
    const QString lock = folder + u'/' + SingleInstance::lockFileName();
    QVERIFY(QFile::exists(lock));

    QCOMPARE(::kill(pid_t(child.processId()), number), 0);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    // What was typed reached the file, and the next start finds the folder free.
    QSettings saved(config, QSettings::IniFormat);
    QCOMPARE(saved.value(u"Constraints/MustTogether"_s).toString(), u"1,2"_s);
    QCOMPARE(saved.value(u"Male/Names"_s).toString(), u"张伟"_s);
    QVERIFY(!QFile::exists(lock));
}

QTEST_GUILESS_MAIN(SessionEndTest)
#include "sessionend_test.moc"
