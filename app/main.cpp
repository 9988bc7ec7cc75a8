#include "appdirectory.h"
#include "desktop.h"
#include "mainwindow.h"
#include "qttranslation.h"
#include "singleinstance.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QStyle>
#include <QStyleFactory>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// A modal dialog open in the window is what the teacher was last working in, so it comes up too.
void bringToFront(QWidget *window)
{
    // Restored from the taskbar as it was left, maximised or not.
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

int runWindow(Velmora::WidgetDialogs &dialogs)
{
    Velmora::SingleInstance instance(Velmora::applicationDirectory());
    switch (instance.start()) {
    case Velmora::SingleInstance::Start::Raised:
        return 0;
    case Velmora::SingleInstance::Start::Unreachable:
        Velmora::Dialogs::instance().information(nullptr, u"提示"_s, u"Velmora 已经在运行"_s);
        return 0;
    case Velmora::SingleInstance::Start::First:
        break;
    }
    // The window is destroyed (and saves) before the lock is released and the application goes.
    Velmora::MainWindow window;
    dialogs.setDefaultParent(&window);
    QObject::connect(&instance, &Velmora::SingleInstance::raiseRequested, &window,
                     [&window] { bringToFront(&window); });
    window.show();
    instance.listen();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Only Windows has this style; elsewhere the platform's default stays.
    if (QStyle *style = QStyleFactory::create(u"windowsvista"_s))
        QApplication::setStyle(style);
    QApplication::setWindowIcon(QIcon(u":/icons/app_icon.ico"_s));
    Velmora::installQtTranslation();

    Velmora::WidgetDialogs dialogs;
    Velmora::Dialogs::install(&dialogs);
    Velmora::setFileOpener([](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    const int result = runWindow(dialogs);
    Velmora::Dialogs::install(nullptr);
    return result;
}
