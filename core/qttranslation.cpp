#include "core/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtTranslation()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    static const char *const kName = "QuillomarQtTranslation";
    if (app->findChild<QTranslator *>(QLatin1String(kName), Qt::FindDirectChildrenOnly))
        return true;
    auto *translator = new QTranslator(app);
    translator->setObjectName(QLatin1String(kName));
    if (!translator->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
