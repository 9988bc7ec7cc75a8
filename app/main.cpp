#include "application.h"
#include "desktop.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Only Windows has this style; elsewhere the platform's default stays.
    if (QStyle *style = QStyleFactory::create(u"windowsvista"_s))
        QApplication::setStyle(style);
    // After the first paint, like the window's own icon.
    QTimer::singleShot(0, &app, [] { QApplication::setWindowIcon(QIcon(u":/icons/app_icon.ico"_s)); });

    Velmora::WidgetDialogs dialogs;
    Velmora::Dialogs::install(&dialogs);
    Velmora::setFileOpener([](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    const int result = Velmora::runProgram(&dialogs);
    Velmora::Dialogs::install(nullptr);
    return result;
}
