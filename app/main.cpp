#include "application.h"
#include "desktop.h"
#include "qttranslation.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QDesktopServices>
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
    Velmora::installQtTranslation();

    Velmora::WidgetDialogs dialogs;
    Velmora::Dialogs::install(&dialogs);
    Velmora::setFileOpener([](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    const int result = Velmora::runProgram(&dialogs);
    Velmora::Dialogs::install(nullptr);
    return result;
}
