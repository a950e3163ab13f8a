#include "Translations.h"

#include "Logging.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void Translations::install(QCoreApplication& application) {
    const QStringList languages = QLocale().uiLanguages();
    for (const QString& name : languages) {
        const QLocale language(name);
        if (language.language() == QLocale::English) {
            break;
        }
        auto* own = new QTranslator(&application);
        if (!own->load(language, QStringLiteral("sonabrix"), QStringLiteral("_"),
                       QStringLiteral(":/i18n"))) {
            delete own;
            continue;
        }
        application.installTranslator(own);
        auto* qt = new QTranslator(&application);
        const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (qt->load(language, QStringLiteral("qtbase"), QStringLiteral("_"), qtFolder)) {
            application.installTranslator(qt);
        } else {
            qCInfo(lcApp) << "No Qt translation for" << name << "in" << qtFolder;
            delete qt;
        }
        qCInfo(lcApp) << "Languages" << languages << ": showing" << own->language();
        return;
    }
    qCInfo(lcApp) << "Languages" << languages << ": showing the English texts";
}
