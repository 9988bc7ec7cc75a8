#include "axobjectstandin.h"

#include "comdef.h"
#include "windows.h"

#include <QFile>

namespace AxStandIn {

namespace {
int &live()
{
    static int count = 0;
    return count;
}

QString describe(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return value.toString();
}
} // namespace

Script &script()
{
    static Script instance;
    return instance;
}

QStringList &journal()
{
    static QStringList lines;
    return lines;
}

int liveObjects()
{
    return live();
}

void reset()
{
    script() = Script();
    journal().clear();
    live() = 0;
}

} // namespace AxStandIn

using namespace AxStandIn;

HRESULT CoInitializeEx(void *, unsigned long mode)
{
    journal() << QStringLiteral("CoInitializeEx %1").arg(mode);
    return script().comResult;
}

void CoUninitialize()
{
    journal() << QStringLiteral("CoUninitialize");
}

const wchar_t *_com_error::ErrorMessage() const
{
    return result == E_ACCESSDENIED ? L"拒绝访问。\r\n" : L"未指定的错误\r\n";
}

QAxObject::QAxObject(const QString &progId, QObject *parent) : QObject(parent), label(progId)
{
    null = !script().liveProgIds.contains(progId);
    ++live();
    journal() << QStringLiteral("create %1%2").arg(progId, null ? QStringLiteral(" (null)") : QString());
}

QAxObject::QAxObject(const QString &objectName, int row, int column, QObject *parent)
    : QObject(parent), label(objectName), row(row), column(column)
{
    ++live();
}

QAxObject::~QAxObject()
{
    --live();
    journal() << QStringLiteral("release %1").arg(label);
}

QAxObject *QAxObject::querySubObject(const char *name, const QVariant &first, const QVariant &second)
{
    const QString signature = QString::fromLatin1(name);
    QString line = QStringLiteral("%1.query %2").arg(label, signature);
    if (first.isValid())
        line += QStringLiteral(" ") + describe(first);
    if (second.isValid())
        line += QStringLiteral(",") + describe(second);
    const bool missing = script().nullQueries.contains(signature);
    journal() << line + (missing ? QStringLiteral(" -> null") : QString());
    if (missing)
        return nullptr;
    static const QMap<QString, QString> names{
        {QStringLiteral("Open(const QString&)"), QStringLiteral("Workbook")},
        {QStringLiteral("Item(int)"), QStringLiteral("Sheet")}};
    if (signature == QStringLiteral("Cells(int,int)"))
        return new QAxObject(QStringLiteral("Cell[%1,%2]").arg(first.toInt()).arg(second.toInt()),
                             first.toInt(), second.toInt(), this);
    if (label.startsWith(QStringLiteral("Cell[")))
        return new QAxObject(label + QStringLiteral(".") + signature, row, column, this);
    return new QAxObject(names.value(signature, signature), 0, 0, this);
}

QVariant QAxObject::dynamicCall(const char *function, QList<QVariant> &vars)
{
    const QString signature = QString::fromLatin1(function);
    QStringList arguments;
    for (const QVariant &value : std::as_const(vars))
        arguments << describe(value);
    QString line = QStringLiteral("%1.call %2").arg(label, signature);
    if (!arguments.isEmpty())
        line += QStringLiteral(" ") + arguments.join(QStringLiteral(","));
    if (script().raisingCalls.contains(label + QStringLiteral(":") + signature)) {
        journal() << line + QStringLiteral(" -> raised");
        Q_EMIT exception(-1, label, script().raiseText, QString());
        return {};
    }
    journal() << line;
    if (signature.startsWith(QStringLiteral("SaveAs")) && !vars.isEmpty()) {
        QFile file(vars.first().toString());
        if (file.open(QIODevice::WriteOnly))
            file.write("PK\x03\x04");
    }
    return {};
}

QVariant QAxObject::dynamicCall(const char *function, const QVariant &first)
{
    QList<QVariant> vars;
    if (first.isValid())
        vars << first;
    return dynamicCall(function, vars);
}

QVariant QAxObject::property(const char *name) const
{
    const QString property = QString::fromLatin1(name);
    journal() << QStringLiteral("%1.get %2").arg(label, property);
    if (label == QStringLiteral("UsedRange") && property == QStringLiteral("Row"))
        return script().usedRow;
    if (label == QStringLiteral("UsedRange") && property == QStringLiteral("Column"))
        return script().usedColumn;
    if (label == QStringLiteral("Rows"))
        return script().rowCount;
    if (label == QStringLiteral("Columns"))
        return script().columnCount;
    if (label.startsWith(QStringLiteral("Cell[")) && property == QStringLiteral("Value"))
        return script().cells.value({row, column});
    return {};
}

bool QAxObject::setProperty(const char *name, const QVariant &value)
{
    const QString property = QString::fromLatin1(name);
    journal() << QStringLiteral("%1.set %2=%3").arg(label, property, describe(value));
    if (label.startsWith(QStringLiteral("Cell[")) && !label.contains(u'.') &&
        property == QStringLiteral("Value"))
        script().cells[{row, column}] = value;
    return true;
}
