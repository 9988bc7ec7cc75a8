#pragma once

#include "seatingexporter.h"

#include <QString>

namespace Velmora {

class Dialogs;

// "新建座位表", "保存", "另存为" and the export slot: each picks the output name its own way and
// hands it to the exporter, then logs its own line whatever the export's outcome, since the
// exporter has already reported a failure in its box.
class ChartFileCommands
{
public:
    ChartFileCommands(ClassState &state, Dialogs &dialogs, ExportSinks sinks,
                      std::unique_ptr<BackendLauncher> launcher = BackendLauncher::createForPlatform());

    // Groups 1 to 9 with six empty seats each, however many groups are enabled.
    static SeatingPlan blankPlan();
    static QString withXlsxSuffix(const QString &path);

    // The part of "新建座位表" after the grouping and the results table were emptied.
    void saveBlankChart();
    // Both return whether a chart was written, so that the caller can record the grouping.
    bool saveFile();
    bool saveAs();
    void exportSeatingPlan();
    // The filled first sheet as one PDF page, named like the chart.
    void exportPdf();

private:
    // Whether a grouping exists (an empty group counts); refuses with the given text when not.
    bool requireGrouping(const QString &refusal) const;
    QString askForName(const QString &title, const QString &proposedName,
                       const QString &filter = QStringLiteral("Excel文件 (*.xlsx)")) const;

    ClassState &state;
    Dialogs &dialogs;
    ExportSinks sinks;
    // Set by the exporter's closing line, which it writes only after the file was checked on
    // disk. Declared before the exporter, whose sink shares it.
    std::shared_ptr<bool> exported = std::make_shared<bool>(false);
    SeatingExporter exporter;
};

} // namespace Velmora
