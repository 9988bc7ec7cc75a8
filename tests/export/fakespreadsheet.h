#pragma once

#include "backendlauncher.h"
#include "exporterror.h"

#include <QFile>
#include <QMap>
#include <QPair>
#include <QStringList>

namespace Velmora::Test {

// A worksheet in memory plus a journal of what the exporter did to it.
struct FakeSheet
{
    SheetArea area;
    QMap<QPair<int, int>, QString> cells;
    QMap<QPair<int, int>, SeatFormat> formats;
    QMap<QPair<int, int>, int> clearedBoxes; // the edges whose border was taken away
    QList<SheetArea> merges;
    QStringList journal;
    QString failAt;         // "open", "save" or "scan": that step throws
    QString failText;       // text of the thrown error; empty means an error without one
    bool saveWrites = true; // false: the save "succeeds" but writes nothing
    QString savedTo;
};

class FakeCell final : public SpreadsheetCell
{
public:
    FakeCell(FakeSheet &sheet, int row, int column)
        : SpreadsheetCell(row, column), sheet(sheet), key(row, column)
    {}
    std::optional<QString> text() override
    {
        if (!sheet.cells.contains(key))
            return std::nullopt;
        return sheet.cells.value(key);
    }
    void setText(const QString &text) override { sheet.cells[key] = text; }
    void formatSeat(const SeatFormat &format) override { sheet.formats[key] = format; }
    void clearBox(int edges) override { sheet.clearedBoxes[key] = edges; }

private:
    FakeSheet &sheet;
    QPair<int, int> key;
};

class FakeBackend final : public SpreadsheetBackend
{
public:
    explicit FakeBackend(FakeSheet &sheet) : sheet(sheet) {}
    void openWorkbook(const QString &path) override
    {
        sheet.journal << QStringLiteral("open ") + path;
        raiseAt(QStringLiteral("open"));
    }
    SheetArea usedArea() override
    {
        raiseAt(QStringLiteral("scan"));
        return sheet.area;
    }
    std::unique_ptr<SpreadsheetCell> cell(int row, int column) override
    {
        return std::make_unique<FakeCell>(sheet, row, column);
    }
    SheetArea mergeArea(int row, int column) override
    {
        for (const SheetArea &merge : std::as_const(sheet.merges)) {
            if (row >= merge.firstRow && row <= merge.lastRow && column >= merge.firstColumn &&
                column <= merge.lastColumn)
                return merge;
        }
        return {row, column, row, column};
    }
    void saveWorkbook(const QString &path) override
    {
        sheet.journal << QStringLiteral("save ") + path;
        raiseAt(QStringLiteral("save"));
        sheet.savedTo = path;
        if (sheet.saveWrites) {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write("PK");
        }
    }
    void restoreDisplay() override { sheet.journal << QStringLiteral("restore"); }
    void close() noexcept override { sheet.journal << QStringLiteral("close"); }

private:
    void raiseAt(const QString &step)
    {
        if (sheet.failAt == step) {
            if (sheet.failText == QStringLiteral("std"))
                throw std::runtime_error("disk on fire");
            throw ExportError(sheet.failText);
        }
    }
    FakeSheet &sheet;
};

class FakeLauncher final : public BackendLauncher
{
public:
    explicit FakeLauncher(FakeSheet &sheet) : sheet(sheet) {}
    bool initialise(QString *errorText) override
    {
        sheet.journal << QStringLiteral("init");
        if (!initError.isEmpty()) {
            *errorText = initError;
            return false;
        }
        return true;
    }
    void release() override { sheet.journal << QStringLiteral("release"); }
    std::unique_ptr<SpreadsheetBackend> launch(const LogLine &log) override
    {
        if (!serverRuns)
            return nullptr;
        log(QStringLiteral("fake server"));
        return std::make_unique<FakeBackend>(sheet);
    }

    QString initError;
    bool serverRuns = true;

private:
    FakeSheet &sheet;
};

} // namespace Velmora::Test
