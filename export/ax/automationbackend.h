#pragma once

#include "spreadsheetbackend.h"

#include <QList>
#include <QVariant>

#include <functional>
#include <memory>

class QAxObject;

namespace Velmora {

// Drives Excel or WPS through COM automation. ActiveQt reports a failed call through the
// object's exception signal instead of throwing, so every call that must be able to fail is made
// with that signal connected: a call raises when the signal fired while it ran, and the
// description the server gave becomes the error text.
class AutomationBackend final : public SpreadsheetBackend
{
public:
    enum class SaveMethod
    {
        Excel,
        Wps
    };
    using LogLine = std::function<void(const QString &)>;

    AutomationBackend(std::unique_ptr<QAxObject> application, SaveMethod method, LogLine log);
    ~AutomationBackend() override;

    void openWorkbook(const QString &nativePath) override;
    SheetArea usedArea() override;
    std::unique_ptr<SpreadsheetCell> cell(int row, int column) override;
    SheetArea mergeArea(int row, int column) override;
    void saveWorkbook(const QString &nativePath) override;
    void restoreDisplay() override;
    void close() noexcept override;

    // Throws ExportError when the server raised during the call.
    static void call(QAxObject *object, const char *signature, QList<QVariant> &arguments);
    static void call(QAxObject *object, const char *signature, const QVariant &argument = {});

private:
    void saveWithWps(const QString &nativePath);

    std::unique_ptr<QAxObject> application;
    std::unique_ptr<QAxObject> workbooks;
    std::unique_ptr<QAxObject> workbook;
    std::unique_ptr<QAxObject> sheets;
    std::unique_ptr<QAxObject> sheet;
    SaveMethod method;
    LogLine log;
};

} // namespace Velmora
