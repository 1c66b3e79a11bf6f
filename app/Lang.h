#pragma once
#include <QString>

namespace morbek {

// The current language: 0 French, 1 English, 2 German. 0 until the first activation
// chooses one.
extern int LangIndex;

// The text of message n in the current language (entry LangIndex * 1000 + n); the
// empty text when the table has no such entry.
QString MsgText(int n);

// Language of a primary language id of the platform: German 0x07 gives 2, French
// 0x0C gives 0, anything else 1 (English).
int LanguageOfLangId(int langId);

// Qt's own texts (the Open dialog's labels, standard buttons, the replace confirmation)
// in the interface language: qtbase_fr or qtbase_de from Qt's translations folder, none
// for English. The program's own texts never go through it (they come from MsgText).
// Replaces the translation of an earlier call; false when the file could not be loaded.
bool ApplyQtTranslations(int langIndex);

} // namespace morbek
