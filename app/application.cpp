#include "application.h"

#include "appdirectory.h"
#include "mainwindow.h"
#include "sessionend.h"
#include "singleinstance.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <QWindow>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include <utility>

using namespace Qt::StringLiterals;

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

// Runs `work` once, after the window's first frame reached the screen; at the latest after a
// second, should the window never be exposed (a start minimised by the desktop).
void afterFirstPaint(QWidget *window, std::function<void()> work)
{
    class ExposeWatch : public QObject
    {
    public:
        explicit ExposeWatch(std::function<void()> work, QObject *parent)
            : QObject(parent), work(std::move(work))
        {
            QTimer::singleShot(1000, this, &ExposeWatch::run);
        }
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            // Queued: the expose is what paints, and the paint comes first.
            if (event->type() == QEvent::Expose)
                QTimer::singleShot(0, this, &ExposeWatch::run);
            return QObject::eventFilter(watched, event);
        }
        void run()
        {
            if (std::function<void()> once = std::exchange(work, nullptr))
                once();
            deleteLater();
        }

    private:
        std::function<void()> work;
    };
    QWindow *handle = window->windowHandle();
    auto *watch = new ExposeWatch(std::move(work), window);
    if (handle)
        handle->installEventFilter(watch);
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
    // Requests wait in the folder until then, and the icon, the history and the application icon
    // are not needed for the first paint.
    afterFirstPaint(&window, [&window, &instance] {
        QApplication::setWindowIcon(QIcon(u":/icons/app_icon.ico"_s));
        window.finishStart();
        instance.listen();
    });
    if (shown)
        shown(window);
    return QApplication::exec();
}

} // namespace Velmora
