#include "application.h"
#include "desktop.h"
#include "lazyiconstyle.h"
#include "qttranslation.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
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
    // Chinese text gains nothing from shaping, and shaping with a large CJK face costs the start
    // milliseconds; scripts that need it (Arabic, for Uyghur names) are still shaped.
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    QApplication::setFont(font);

    Velmora::WidgetDialogs dialogs;
    Velmora::Dialogs::install(&dialogs);
    Velmora::setFileOpener([](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    const int result = Velmora::runProgram(&dialogs);
    Velmora::Dialogs::install(nullptr);
    return result;
}
