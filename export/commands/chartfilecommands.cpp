#include "chartfilecommands.h"

#include "appdirectory.h"
#include "dialogs.h"

#include <QDateTime>
#include <QDir>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

QString timestamp()
{
    return QDateTime::currentDateTime().toString(u"yyyyMMdd_hhmmss"_s);
}

// The exporter's own line shows the native form; a command's line right after it must not differ.
QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

ChartFileCommands::ChartFileCommands(ClassState &state, Dialogs &dialogs, ExportSinks sinks,
                                     std::unique_ptr<BackendLauncher> launcher)
    : state(state), dialogs(dialogs), sinks(sinks),
      exporter(state, dialogs,
               {std::move(sinks.appendLog),
                [exported = exported, logMessage = std::move(sinks.logMessage)](const QString &line) {
                    *exported = true;
                    logMessage(line);
                }},
               std::move(launcher))
{}

SeatingPlan ChartFileCommands::blankPlan()
{
    return SeatingPlan::blank(9, 6);
}

QString ChartFileCommands::withXlsxSuffix(const QString &path)
{
    return SeatingExporter::withXlsxSuffix(path);
}

bool ChartFileCommands::requireGrouping(const QString &refusal) const
{
    if (!state.currentGrouping.isEmpty())
        return true;
    dialogs.warning(nullptr, u"错误"_s, refusal);
    return false;
}

QString ChartFileCommands::askForName(const QString &title, const QString &proposedName,
                                      const QString &filter) const
{
    return dialogs.saveFileName(nullptr, title, proposedName, filter);
}

void ChartFileCommands::saveBlankChart()
{
    QString path = askForName(u"保存空座位表"_s, timestamp() + u"_空座位表.xlsx"_s);
    if (path.isEmpty()) {
        sinks.logMessage(u"已创建新的空白座位表（未保存）"_s);
        return;
    }
    path = withXlsxSuffix(path);
    exporter.exportToFile(path);
    sinks.logMessage(u"已创建新的空白座位表并保存到: "_s + shown(path));
}

bool ChartFileCommands::saveFile()
{
    if (!requireGrouping(u"没有分组数据可保存"_s))
        return false;
    const QString path = applicationDirectory() + u"/"_s + timestamp() + u"_座位表.xlsx"_s;
    *exported = false;
    exporter.exportToFile(path);
    sinks.logMessage(u"座位表已保存到: "_s + shown(path));
    return *exported;
}

bool ChartFileCommands::saveAs()
{
    if (!requireGrouping(u"没有分组数据可保存"_s))
        return false;
    QString path = askForName(u"另存为"_s, timestamp() + u"_座位表.xlsx"_s);
    if (path.isEmpty())
        return false;
    path = withXlsxSuffix(path);
    *exported = false;
    exporter.exportToFile(path);
    sinks.logMessage(u"座位表已另存为: "_s + shown(path));
    return *exported;
}

void ChartFileCommands::exportSeatingPlan()
{
    if (!requireGrouping(u"请先生成分组结果"_s))
        return;
    const QString path = askForName(u"导出座位表"_s, QString());
    if (path.isEmpty())
        return;
    exporter.exportToFile(path);
    sinks.logMessage(u"座位表已导出到: "_s + shown(path));
}

void ChartFileCommands::exportPdf()
{
    if (!requireGrouping(u"没有分组数据可保存"_s))
        return;
    const QString path = askForName(u"导出 PDF"_s, timestamp() + u"_座位表.pdf"_s, u"PDF文件 (*.pdf)"_s);
    if (!path.isEmpty())
        exporter.exportPdf(path);
}

} // namespace Velmora
