#include "application.h"

#include "appdirectory.h"
#include "mainwindow.h"
#include "sessionend.h"
#include "singleinstance.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QTimer>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

namespace Velmora {

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

} // namespace

int runProgram(WidgetDialogs *dialogs, const std::function<void(MainWindow &)> &shown)
{
    // First of all: a session that ends while the program starts still ends it cleanly. Leaving
    // every event loop, a question's included, ends the program as closing the window does.
    SessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &SessionEnd::endRequested, &sessionEnd, [] { QCoreApplication::exit(0); });

    SingleInstance instance(applicationDirectory());
    switch (instance.start()) {
    case SingleInstance::Start::Raised:
    case SingleInstance::Start::Declined:
        return 0;
    case SingleInstance::Start::First:
        break;
    }
    if (sessionEnd.requested())
        return 0;
    // The window is destroyed (and saves) before the lock is released and the application goes.
    MainWindow window;
    if (dialogs)
        dialogs->setDefaultParent(&window);
    QObject::connect(&instance, &SingleInstance::raiseRequested, &window,
                     [&window] { bringToFront(&window); });
#if QT_CONFIG(sessionmanager)
    // Windows asks every program before it ends the session and kills them right after: the
    // shutdown save has to happen at the question.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.saveGroupConfiguration(); });
#endif
    window.show();
    // Requests wait in the folder until then; the first paint comes first.
    QTimer::singleShot(0, &instance, [&instance] { instance.listen(); });
    if (shown)
        shown(window);
    return QApplication::exec();
}

} // namespace Velmora
