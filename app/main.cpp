#include "application.h"
#include "desktop.h"
#include "lazyiconstyle.h"
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
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    QApplication app(argc, argv);
    // Only Windows has this style; elsewhere the platform's default stays, with the menu bar's
    // overflow icon read when drawn instead of before the first frame. Qt looks for the Windows
    // style by class in places, which a proxy around it would hide.
    if (QStyle *style = QStyleFactory::create(u"windowsvista"_s))
        QApplication::setStyle(style);
    else
        QApplication::setStyle(new Velmora::LazyIconStyle);
    Velmora::installQtTranslation();

    Velmora::WidgetDialogs dialogs;
    Velmora::Dialogs::install(&dialogs);
    Velmora::setFileOpener([](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    const int result = Velmora::runProgram(&dialogs);
    Velmora::Dialogs::install(nullptr);
    return result;
}
