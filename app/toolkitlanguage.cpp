#include "app/toolkitlanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool InstallToolkitTranslations(QCoreApplication& app, const QLocale& locale) {
    // Owned by the application: it has to outlive every box of the run.
    auto* translator = new QTranslator(&app);
    // "qtbase_pt_BR.qm", else "qtbase_pt.qm": the locale's own names, most specific first.
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
