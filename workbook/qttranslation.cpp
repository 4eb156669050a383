#include "workbook/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zeltrac {

bool installQtTranslation(QCoreApplication& application)
{
    // Owned by the application: it must outlive every window and message.
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace zeltrac
