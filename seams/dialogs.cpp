#include "dialogs.h"

#include <QtGlobal>

namespace Velmora {

namespace {

class NullDialogs final : public Dialogs
{
public:
    void warning(QWidget *, const QString &title, const QString &text) override { drop(title, text); }
    void information(QWidget *, const QString &title, const QString &text) override { drop(title, text); }
    void critical(QWidget *, const QString &title, const QString &text) override { drop(title, text); }
    bool question(QWidget *, const QString &title, const QString &text) override
    {
        drop(title, text);
        return false;
    }
    int choose(QWidget *, const QString &title, const QString &text, const QStringList &buttons) override
    {
        drop(title, text);
        return int(buttons.size()) - 1;
    }
    QString saveFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }
    QString openFileName(QWidget *, const QString &, const QString &, const QString &) override { return {}; }

private:
    static void drop(const QString &title, const QString &text)
    {
        qWarning("No dialog implementation installed; dropped: %s / %s", qUtf8Printable(title),
                 qUtf8Printable(text));
    }
};

Dialogs *&installed()
{
    static Dialogs *dialogs = nullptr;
    return dialogs;
}

} // namespace

Dialogs::~Dialogs() = default;

Dialogs &Dialogs::instance()
{
    static NullDialogs fallback;
    return installed() ? *installed() : fallback;
}

void Dialogs::install(Dialogs *dialogs)
{
    installed() = dialogs;
}

bool Dialogs::isInstalled()
{
    return installed() != nullptr;
}

QString exceptionText(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

} // namespace Velmora
