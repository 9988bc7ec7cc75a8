#include "desktop.h"
#include "mainwindow.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QStyle>
#include <QStyleFactory>
#include <QUrl>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Only Windows has this style; elsewhere the platform's default stays.
    if (QStyle *style = QStyleFactory::create(u"windowsvista"_s))
        QApplication::setStyle(style);
    QApplication::setWindowIcon(QIcon(u":/icons/app_icon.ico"_s));

    Velmora::WidgetDialogs dialogs;
    Velmora::Dialogs::install(&dialogs);
    Velmora::setFileOpener([](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });

    int result = 0;
    {
        // The window is destroyed (and saves) before the application object goes.
        Velmora::MainWindow window;
        dialogs.setDefaultParent(&window);
        window.show();
        result = QApplication::exec();
    }
    Velmora::Dialogs::install(nullptr);
    return result;
}
