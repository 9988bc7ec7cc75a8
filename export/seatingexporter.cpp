#include "seatingexporter.h"

#include "appdirectory.h"
#include "chartpdfwriter.h"
#include "configstore.h"
#include "desktop.h"
#include "dialogs.h"
#include "exporterror.h"
#include "unusedgroupboxes.h"
#include "xlsxbackend.h"
#include "xlsxdocument.h"
#include "xlsxsheetview.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

QString styleTemplate(int style)
{
    return applicationDirectory() + (style == 1 ? u"/座位样式1.xlsx"_s : u"/座位样式2.xlsx"_s);
}

bool isSameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (!first.exists() || !second.exists())
        return false;
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity sensitivity = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity sensitivity = Qt::CaseSensitive;
#endif
    return first.canonicalFilePath().compare(second.canonicalFilePath(), sensitivity) == 0;
}

// A folder, a FIFO or a device is no workbook: it counts as missing. A FIFO would also block the
// window in open(), and a device would be read without end.
bool isTemplateFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// Releases the platform after the session objects are gone, on every path.
class PlatformGuard
{
public:
    explicit PlatformGuard(BackendLauncher *launcher) : launcher(launcher) {}
    ~PlatformGuard()
    {
        if (launcher)
            launcher->release();
    }
    PlatformGuard(const PlatformGuard &) = delete;
    PlatformGuard &operator=(const PlatformGuard &) = delete;

private:
    BackendLauncher *launcher;
};

} // namespace

SeatingExporter::SeatingExporter(ClassState &state, Dialogs &dialogs, ExportSinks sinks,
                                 std::unique_ptr<BackendLauncher> launcher)
    : state(state), dialogs(dialogs), sinks(std::move(sinks)), launcher(std::move(launcher))
{}

void SeatingExporter::warn(const QString &text) const
{
    dialogs.warning(nullptr, u"错误"_s, text);
}

void SeatingExporter::fail(const QString &text) const
{
    dialogs.critical(nullptr, u"错误"_s, text);
}

QString SeatingExporter::withXlsxSuffix(const QString &path)
{
    return path.endsWith(u".xlsx"_s, Qt::CaseInsensitive) ? path : path + u".xlsx"_s;
}

void SeatingExporter::exportToFile(const QString &outputPath)
{
    if (outputPath.isEmpty()) {
        warn(u"文件名不能为空"_s);
        return;
    }
    QString platformError;
    if (launcher && !launcher->initialise(&platformError)) {
        warn(u"COM初始化失败: "_s + platformError);
        return;
    }
    const PlatformGuard guard(launcher.get());

    const QString outputName = withXlsxSuffix(outputPath);
    const std::optional<QString> templateFile = checkedTemplate(outputName);
    if (!templateFile)
        return;

    std::unique_ptr<SpreadsheetBackend> backend;
    if (launcher)
        backend = launcher->launch(sinks.appendLog);
    // Without Excel or WPS the built-in engine writes the chart, so a missing application is no failure.
    if (!backend) {
        sinks.appendLog(u"使用内置表格引擎"_s);
        backend = std::make_unique<XlsxBackend>(sinks.appendLog);
    }
    exportWith(*backend, *templateFile, outputName);
    backend->close();
}

std::optional<QString> SeatingExporter::checkedTemplate(const QString &outputName)
{
    std::optional<QString> templateFile = chooseTemplate();
    if (!templateFile)
        return std::nullopt;
    state.templatePath = *templateFile;
    if (isSameFile(outputName, *templateFile)) {
        fail(u"导出失败: "_s + u"不能覆盖模板文件"_s);
        return std::nullopt;
    }
    return templateFile;
}

void SeatingExporter::exportPdf(const QString &outputPath)
{
    if (outputPath.isEmpty()) {
        warn(u"文件名不能为空"_s);
        return;
    }
    const QString outputName = withPdfSuffix(outputPath);
    const std::optional<QString> templateFile = checkedTemplate(outputName);
    if (!templateFile)
        return;
    try {
        XlsxBackend backend;
        backend.openWorkbook(QDir::toNativeSeparators(QFileInfo(*templateFile).absoluteFilePath()));
        fillSheet(backend);
        XlsxSheetView view;
        const XlsxError error = backend.workbook().readSheetView(&view);
        if (error != XlsxError::None)
            throw ExportError(u"无法打开模板文件"_s, u"模板文件无法打开: "_s + xlsxErrorText(error));
        // Qt draws nothing but empty boxes, or worse, without a single font.
        if (!ChartPdfWriter::fontsAvailable())
            throw ExportError(u"没有可用的字体"_s);
        const QString savePath = QFileInfo(outputName).absoluteFilePath();
        ChartPdfWriter writer(view);
        QString why;
        if (!writer.writeFile(savePath, &why)) {
            // A sheet that cannot go onto one page says so; anything else is the disk's doing.
            if (!writer.refusal().isEmpty())
                throw ExportError(writer.refusal(), writer.detail());
            throw ExportError(u"文件保存失败，请检查路径和权限"_s, u"PDF 无法保存: "_s + why);
        }
        for (const QString &note : writer.fontNotes())
            sinks.appendLog(note);
        openFileOnDesktop(savePath);
        sinks.logMessage(u"座位表已导出为 PDF: "_s + QDir::toNativeSeparators(savePath));
    } catch (...) {
        reportFailure(std::current_exception());
    }
}

QString SeatingExporter::withPdfSuffix(const QString &path)
{
    return path.endsWith(u".pdf"_s, Qt::CaseInsensitive) ? path : path + u".pdf"_s;
}

std::optional<QString> SeatingExporter::chooseTemplate() const
{
    QString chosen;
    if (state.currentStyle == u"自定义"_s) {
        chosen = ConfigStore::readCustomPath(state.configPath);
        if (!isTemplateFile(chosen)) {
            warn(u"自定义样式文件不存在，请重新选择"_s);
            return std::nullopt;
        }
        return chosen;
    }
    chosen = styleTemplate(state.currentStyle == u"样式2"_s ? 2 : 1);
    if (isTemplateFile(chosen))
        return chosen;
    for (int style : {1, 2}) {
        if (isTemplateFile(styleTemplate(style)))
            return styleTemplate(style);
    }
    warn(u"未找到座位模板文件，请确保同目录下有'座位样式1.xlsx'或'座位样式2.xlsx'"_s);
    return std::nullopt;
}

void SeatingExporter::exportWith(SpreadsheetBackend &backend, const QString &templateFile,
                                 const QString &outputName)
{
    try {
        backend.openWorkbook(QDir::toNativeSeparators(QFileInfo(templateFile).absoluteFilePath()));
        fillSheet(backend);
        // An automation server has a working directory of its own, so it always gets an absolute path.
        const QString savePath = QFileInfo(outputName).absoluteFilePath();
        backend.saveWorkbook(QDir::toNativeSeparators(savePath));
        const QFileInfo saved(savePath);
        if (!saved.exists() || saved.size() <= 0)
            throw ExportError(u"文件保存失败，请检查路径和权限"_s);
        backend.restoreDisplay();
        openFileOnDesktop(savePath);
        sinks.logMessage(u"座位表已导出到: "_s + QDir::toNativeSeparators(outputName));
    } catch (...) {
        reportFailure(std::current_exception());
    }
}

void SeatingExporter::reportFailure(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const ExportError &error) {
        if (!error.logLine().isEmpty())
            sinks.appendLog(error.logLine());
        if (error.text().isEmpty())
            fail(u"导出失败: 未知错误"_s);
        else
            fail(u"导出失败: %1"_s.arg(error.text()));
    } catch (const std::exception &error) {
        fail(u"导出失败: %1"_s.arg(exceptionText(error)));
    } catch (...) {
        fail(u"导出失败: 未知错误"_s);
    }
}

PersonId SeatingExporter::seatMarkerOccupant(const SeatingPlan &plan, const QString &text, bool *isMarker)
{
    static const QRegularExpression seatPattern(u"^(\\d+)-(\\d+)$"_s);
    // "$" also matches before one final line break, which is what Alt+Enter leaves behind
    // a marker: the teacher sees "1-2", so the cell is a seat.
    const QRegularExpressionMatch match = seatPattern.match(text);
    if (isMarker)
        *isMarker = match.hasMatch() && !text.contains(u"XXXX.XX.XX"_s);
    if (!match.hasMatch())
        return 0;
    // "g-s" is seat s of the g-th group of the plan: the seat, not the s-th person seated, so that
    // a pupil behind an empty seat stays on the seat the log names.
    bool groupOk = false;
    bool seatOk = false;
    const int group = match.captured(1).toInt(&groupOk);
    const int seat = match.captured(2).toInt(&seatOk);
    if (!groupOk || !seatOk || group < 1 || group > plan.groupCount())
        return 0;
    return plan.occupant(plan.refAt(group - 1, seat - 1));
}

void SeatingExporter::fillSheet(SpreadsheetBackend &backend)
{
    const QString today = QDate::currentDate().toString(u"yyyy.MM.dd"_s);
    const SeatingPlan &plan = state.currentGrouping;

    UnusedGroupBoxes unused(plan.groupCount());
    backend.visitCells([&](SpreadsheetCell &cell) {
        const std::optional<QString> text = cell.text();
        if (!text)
            return;
        unused.note(cell.row(), cell.column(), *text);
        if (text->contains(u"XXXX.XX.XX"_s)) {
            cell.setText(today);
            return;
        }
        bool isMarker = false;
        const PersonId person = seatMarkerOccupant(plan, *text, &isMarker);
        if (!isMarker)
            return;
        if (person == 0) {
            cell.setText(QString());
            return;
        }
        cell.setText(state.roster.nameOf(person));
        SeatFormat format;
        format.bold = state.roster.isLeader(person);
        format.fill = state.roster.isBoarder(person);
        cell.formatSeat(format);
    });
    unused.clear(backend);
}

} // namespace Velmora
