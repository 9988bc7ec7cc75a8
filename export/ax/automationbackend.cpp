#include "automationbackend.h"

#include "exporterror.h"

#include <QAxObject>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

constexpr int xlCenter = -4108;
constexpr int xlOpenXmlWorkbook = 51;
constexpr int xlNone = -4142;
// XlBordersIndex: each edge of a cell on its own, so that a neighbour's border stays.
constexpr int xlEdgeLeft = 7;
constexpr int xlEdgeTop = 8;
constexpr int xlEdgeBottom = 9;
constexpr int xlEdgeRight = 10;

class AutomationCell final : public SpreadsheetCell
{
public:
    AutomationCell(QAxObject *cell, int row, int column) : SpreadsheetCell(row, column), cell(cell) {}

    std::optional<QString> text() override
    {
        const QVariant value = cell->property("Value");
        if (!value.isValid() || value.isNull())
            return std::nullopt;
        return value.toString();
    }
    void setText(const QString &text) override { cell->setProperty("Value", text); }
    void formatSeat(const SeatFormat &format) override
    {
        cell->setProperty("HorizontalAlignment", xlCenter);
        cell->setProperty("VerticalAlignment", xlCenter);
        cell->setProperty("WrapText", true);
        const std::unique_ptr<QAxObject> font(cell->querySubObject("Font"));
        const std::unique_ptr<QAxObject> interior(cell->querySubObject("Interior"));
        if (font) {
            font->setProperty("Size", format.fontSize);
            if (format.bold)
                font->setProperty("Bold", true);
        }
        if (interior && format.fill)
            interior->setProperty("Color", QVariant::fromValue(format.fillColor));
    }
    void clearBox(int edges) override
    {
        const std::unique_ptr<QAxObject> interior(cell->querySubObject("Interior"));
        if (interior)
            interior->setProperty("ColorIndex", xlNone);
        if (edges == 0)
            return;
        const std::unique_ptr<QAxObject> borders(cell->querySubObject("Borders"));
        for (const auto &[edge, index] : {std::pair{LeftEdge, xlEdgeLeft},
                                          {TopEdge, xlEdgeTop},
                                          {BottomEdge, xlEdgeBottom},
                                          {RightEdge, xlEdgeRight}}) {
            const std::unique_ptr<QAxObject> border(
                borders && (edges & edge) ? borders->querySubObject("Item(int)", index) : nullptr);
            if (border)
                border->setProperty("LineStyle", xlNone);
        }
    }

private:
    std::unique_ptr<QAxObject> cell;
};

} // namespace

AutomationBackend::AutomationBackend(std::unique_ptr<QAxObject> application, SaveMethod method, LogLine log)
    : application(std::move(application)), method(method), log(std::move(log))
{}

// Children before parents, each released exactly once.
AutomationBackend::~AutomationBackend()
{
    sheet.reset();
    sheets.reset();
    workbook.reset();
    workbooks.reset();
    application.reset();
}

void AutomationBackend::call(QAxObject *object, const char *signature, QList<QVariant> &arguments)
{
    bool raised = false;
    QString description;
    const QMetaObject::Connection connection =
        QObject::connect(object, &QAxObject::exception, object,
                         [&](int, const QString &, const QString &desc, const QString &) {
                             raised = true;
                             description = desc;
                         });
    object->dynamicCall(signature, arguments);
    QObject::disconnect(connection);
    if (raised)
        throw ExportError(description);
}

void AutomationBackend::call(QAxObject *object, const char *signature, const QVariant &argument)
{
    QList<QVariant> arguments;
    if (argument.isValid())
        arguments << argument;
    call(object, signature, arguments);
}

void AutomationBackend::openWorkbook(const QString &nativePath)
{
    application->setProperty("Visible", false);
    application->setProperty("DisplayAlerts", false);
    application->setProperty("ScreenUpdating", false);
    workbooks.reset(application->querySubObject("Workbooks"));
    if (!workbooks)
        throw ExportError(u"无法获取Workbooks对象"_s);
    workbook.reset(workbooks->querySubObject("Open(const QString&)", nativePath));
    if (!workbook)
        throw ExportError(u"无法打开模板文件"_s, u"模板文件无法打开: 表格程序未能打开该文件"_s);
    sheets.reset(workbook->querySubObject("Sheets"));
    if (!sheets)
        throw ExportError(u"无法获取Sheets集合"_s);
    sheet.reset(sheets->querySubObject("Item(int)", 1));
    if (!sheet)
        throw ExportError(u"无法获取工作表"_s);
}

SheetArea AutomationBackend::usedArea()
{
    SheetArea area;
    const std::unique_ptr<QAxObject> used(sheet->querySubObject("UsedRange"));
    if (!used)
        return area;
    area.firstRow = qMax(1, used->property("Row").toInt());
    area.firstColumn = qMax(1, used->property("Column").toInt());
    const std::unique_ptr<QAxObject> rows(used->querySubObject("Rows"));
    const std::unique_ptr<QAxObject> columns(used->querySubObject("Columns"));
    const int rowCount = rows ? rows->property("Count").toInt() : 0;
    const int columnCount = columns ? columns->property("Count").toInt() : 0;
    area.lastRow = rowCount > 0 ? area.firstRow + rowCount - 1 : 0;
    area.lastColumn = columnCount > 0 ? area.firstColumn + columnCount - 1 : 0;
    return area;
}

std::unique_ptr<SpreadsheetCell> AutomationBackend::cell(int row, int column)
{
    QAxObject *object = sheet->querySubObject("Cells(int,int)", row, column);
    if (!object)
        return nullptr;
    return std::make_unique<AutomationCell>(object, row, column);
}

SheetArea AutomationBackend::mergeArea(int row, int column)
{
    const SheetArea alone{row, column, row, column};
    const std::unique_ptr<QAxObject> cell(sheet->querySubObject("Cells(int,int)", row, column));
    const std::unique_ptr<QAxObject> merged(cell ? cell->querySubObject("MergeArea") : nullptr);
    if (!merged)
        return alone;
    const std::unique_ptr<QAxObject> rows(merged->querySubObject("Rows"));
    const std::unique_ptr<QAxObject> columns(merged->querySubObject("Columns"));
    SheetArea area;
    area.firstRow = merged->property("Row").toInt();
    area.firstColumn = merged->property("Column").toInt();
    area.lastRow = area.firstRow + (rows ? rows->property("Count").toInt() : 0) - 1;
    area.lastColumn = area.firstColumn + (columns ? columns->property("Count").toInt() : 0) - 1;
    // A range that does not hold the cell is not its merged range.
    if (area.firstRow > row || area.lastRow < row || area.firstColumn > column || area.lastColumn < column)
        return alone;
    return area;
}

void AutomationBackend::saveWorkbook(const QString &nativePath)
{
    if (method == SaveMethod::Excel) {
        // Excel's own failure text is not what the teacher should read. The raise itself still
        // counts: an earlier chart of the same name would pass the check after saving.
        QList<QVariant> arguments{nativePath, xlOpenXmlWorkbook};
        try {
            call(workbook.get(), "SaveAs(const QString&, int)", arguments);
        } catch (const ExportError &) {
            throw ExportError(u"文件保存失败，请检查路径和权限"_s);
        }
        return;
    }
    saveWithWps(nativePath);
}

// WPS builds differ in which SaveAs signature their type library accepts.
void AutomationBackend::saveWithWps(const QString &nativePath)
{
    try {
        call(workbook.get(), "SaveAs(const QString&)", nativePath);
        log(u"使用WPS特有保存方式"_s);
        return;
    } catch (const ExportError &) {
    }
    try {
        const std::unique_ptr<QAxObject> active(application->querySubObject("ActiveWorkbook"));
        // Without an active workbook nothing is written here; the size check reports it.
        if (active) {
            call(active.get(), "SaveAs(QVariant)", QVariant(nativePath));
            log(u"使用WPS备用保存方式"_s);
        }
        return;
    } catch (const ExportError &) {
    }
    call(workbook.get(), "SaveAs(QString)", nativePath);
    log(u"使用WPS最后尝试保存方式"_s);
}

void AutomationBackend::restoreDisplay()
{
    application->setProperty("ScreenUpdating", true);
    application->setProperty("DisplayAlerts", true);
}

void AutomationBackend::close() noexcept
{
    // Errors of these two are of no interest any more: the export has already been reported.
    try {
        if (workbook)
            call(workbook.get(), "Close(Boolean)", false);
    } catch (...) {
    }
    try {
        if (application)
            call(application.get(), "Quit()");
    } catch (...) {
    }
}

} // namespace Velmora
