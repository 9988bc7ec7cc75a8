#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QStringList>
#include <QVariant>

// Test-only replacement for ActiveQt's QAxObject and the few COM calls the automation backend
// makes. It plays one scripted spreadsheet server and writes every call into a journal.
namespace AxStandIn {

struct Script
{
    QSet<QString> liveProgIds;
    QSet<QString> nullQueries;  // query signatures that yield no object
    QSet<QString> raisingCalls; // "Object:Signature" calls that raise through the exception signal
    QString raiseText = QStringLiteral("服务器出错");
    QMap<QPair<int, int>, QVariant> cells;
    int usedRow = 1;
    int usedColumn = 1;
    int rowCount = 0;
    int columnCount = 0;
    int comResult = 0;
};

Script &script();
QStringList &journal();
int liveObjects();
void reset();

} // namespace AxStandIn

class QAxObject : public QObject
{
    Q_OBJECT

public:
    explicit QAxObject(const QString &progId, QObject *parent = nullptr);
    ~QAxObject() override;

    bool isNull() const { return null; }
    QAxObject *querySubObject(const char *name, const QVariant &first = QVariant(),
                              const QVariant &second = QVariant());
    QVariant dynamicCall(const char *function, QList<QVariant> &vars);
    QVariant dynamicCall(const char *function, const QVariant &first = QVariant());
    QVariant property(const char *name) const;
    bool setProperty(const char *name, const QVariant &value);

Q_SIGNALS:
    void exception(int code, const QString &source, const QString &desc, const QString &help);

private:
    QAxObject(const QString &objectName, int row, int column, QObject *parent);

    QString label;
    bool null = false;
    int row = 0;
    int column = 0;
};
