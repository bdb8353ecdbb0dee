#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The first of the user's languages in order of preference that has a file prefix + language
// in directory ("de_AT" falls back to "de"). The texts are written in English: once English
// comes in that order, nothing is loaded.
bool loadPreferred(QTranslator &translator, const QLocale &locale, const QString &prefix,
                   const QString &directory)
{
    for (QString language : locale.uiLanguages()) {
        language.replace(u'-', u'_');
        if (language == "en"_L1 || language.startsWith("en_"_L1))
            return false;
        if (translator.load(prefix + language, directory))
            return true;
    }
    return false;
}

} // namespace

Translations::Translations(const QLocale &locale)
{
    if (loadPreferred(m_own, locale, u"velmora_"_s, u":/i18n"_s))
        QCoreApplication::installTranslator(&m_own);
    if (loadPreferred(m_qt, locale, u"qtbase_"_s,
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_qt);
}

} // namespace velmora
