#include "qttranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace Velmora {

bool installQtTranslation()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    const QStringList folders = {QDir(QCoreApplication::applicationDirPath()).filePath(u"translations"_s),
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    auto *translator = new QTranslator(app);
    for (const QString &folder : folders) {
        // windeployqt merges the modules' catalogs into qt_zh_CN.qm; the zip and Linux have qtbase's own.
        for (const QString &name : {u"qtbase_zh_CN"_s, u"qt_zh_CN"_s}) {
            if (translator->load(name, folder) && QCoreApplication::installTranslator(translator))
                return true;
        }
    }
    delete translator;
    return false;
}

} // namespace Velmora
