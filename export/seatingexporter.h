#pragma once

#include "backendlauncher.h"
#include "exportsinks.h"
#include "model.h"

#include <QString>

#include <exception>
#include <memory>
#include <optional>

namespace Velmora {

class Dialogs;
class SpreadsheetBackend;

// Writes the current grouping into a copy of the chosen template workbook and opens the result.
// Every failure is reported here, in a message box; success ends in the log.
class SeatingExporter
{
public:
    // Without a launcher the built-in engine does the work.
    SeatingExporter(ClassState &state, Dialogs &dialogs, ExportSinks sinks,
                    std::unique_ptr<BackendLauncher> launcher = BackendLauncher::createForPlatform());

    void exportToFile(const QString &outputPath);
    // The same chart drawn onto one PDF page by the built-in engine, whatever is installed;
    // reports like exportToFile.
    void exportPdf(const QString &outputPath);

    // Who a template cell stands for: for a seat marker "g-s", the occupant of seat s of the g-th
    // group of the plan; 0 for an empty seat, a place the plan lacks, or a cell that is no marker.
    static PersonId seatMarkerOccupant(const SeatingPlan &plan, const QString &text,
                                       bool *isMarker = nullptr);

    // The output name: ".xlsx" appended unless the path already ends in it, in any case.
    static QString withXlsxSuffix(const QString &path);
    static QString withPdfSuffix(const QString &path);

private:
    std::optional<QString> chooseTemplate() const;
    void exportWith(SpreadsheetBackend &backend, const QString &templateFile, const QString &outputName);
    // The template checks both exports share; the template to use, or nothing after a message.
    std::optional<QString> checkedTemplate(const QString &outputName);
    void reportFailure(const std::exception_ptr &failure);
    void fillSheet(SpreadsheetBackend &backend);
    void warn(const QString &text) const;
    void fail(const QString &text) const;

    ClassState &state;
    Dialogs &dialogs;
    ExportSinks sinks;
    std::unique_ptr<BackendLauncher> launcher;
};

} // namespace Velmora
