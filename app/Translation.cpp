#include "app/Translation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include "os/OS_Log.h"

static void InitTranslationResource() { Q_INIT_RESOURCE(translations); }

int InstallTranslation() {
    // The first language we have texts for decides; any other desktop
    // language (French, "C") reads English.
    for (const QString& language : QLocale::system().uiLanguages()) {
        if (language.startsWith("zh", Qt::CaseInsensitive))
            return 0;
        if (language.startsWith("en", Qt::CaseInsensitive))
            break;
    }
    InitTranslationResource();
    static QTranslator english;
    if (!english.load(":/translations/vidloom_en.qm")) {
        OS_Log::Error("failed to load the English translation\n");
        return -1;
    }
    QCoreApplication::installTranslator(&english);
    return 0;
}
