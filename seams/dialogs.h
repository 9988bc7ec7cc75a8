#pragma once

#include <QString>
#include <QStringList>

#include <exception>

class QWidget;

namespace Velmora {

// Every message box and file dialog of the program goes through this interface, so that tests can
// pre-answer them without running a nested event loop. The widget implementation lives in the
// application layer; a null parent there means the main window.
class Dialogs
{
public:
    virtual ~Dialogs();

    virtual void warning(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual void information(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual void critical(QWidget *parent, const QString &title, const QString &text) = 0;
    // A Yes/No question; true only for Yes.
    virtual bool question(QWidget *parent, const QString &title, const QString &text) = 0;
    // A question with buttons of its own: the first is the default, the last the safe answer that
    // Escape and closing the box choose. Returns the index of the button chosen.
    virtual int choose(QWidget *parent, const QString &title, const QString &text,
                       const QStringList &buttons) = 0;
    // Both return an empty string when the user cancels.
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &proposedName,
                                 const QString &filter) = 0;
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &directory,
                                 const QString &filter) = 0;

    // The installed implementation. Without one, boxes are dropped and questions answered No,
    // which is the safe answer for every question the program asks.
    static Dialogs &instance();
    // Takes no ownership; nullptr uninstalls.
    static void install(Dialogs *dialogs);
    static bool isInstalled();
};

// The text of an exception for a message box. The program's own exceptions carry UTF-8, and the
// standard library's plain ASCII, which reads the same as UTF-8.
QString exceptionText(const std::exception &error);

} // namespace Velmora
