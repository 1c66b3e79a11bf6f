#include "app/Lang.h"

#include "resources/StringTable.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace morbek {

int LangIndex = 0;

QString MsgText(int n) {
    return LoadStringEntry(LangIndex * 1000 + n);
}

int LanguageOfLangId(int langId) {
    switch (langId & 0xFF) {
    case 0x07:
        return 2;
    case 0x0C:
        return 0;
    default:
        return 1;
    }
}

bool ApplyQtTranslations(int langIndex) {
    // One translator for the whole run, owned here; the application only points at it.
    static std::unique_ptr<QTranslator> installed;
    static int installedLang = -1;
    if (installed && installedLang == langIndex)
        return true;
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
        installedLang = -1;
    }
    const char* name = langIndex == 0 ? "qtbase_fr" : langIndex == 2 ? "qtbase_de" : nullptr;
    if (!name)
        return true; // Qt's source texts are English
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLatin1String(name), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    installedLang = langIndex;
    return true;
}

} // namespace morbek
