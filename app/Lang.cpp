#include "app/Lang.h"

#include "resources/StringTable.h"

namespace morbek {

int LangIndex = 0;

QString MsgText(int n) { return LoadStringEntry(LangIndex * 1000 + n); }

int LanguageOfLangId(int langId) {
    switch (langId & 0xFF) {
    case 0x07: return 2;
    case 0x0C: return 0;
    default: return 1;
    }
}

} // namespace morbek
