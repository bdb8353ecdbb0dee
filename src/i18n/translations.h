#pragma once

#include <QLocale>
#include <QTranslator>

namespace velmora {

// The program's texts in the language of locale, and Qt's own (its standard dialogs) where
// Qt's translations are installed, for as long as it lives; English, as written in the
// source, for a language without a translation. Made once the application exists.
class Translations
{
public:
    explicit Translations(const QLocale &locale = QLocale());
    Translations(const Translations &) = delete;
    Translations &operator=(const Translations &) = delete;

    // Whether the program's own texts are translated.
    bool isTranslated() const { return !m_own.isEmpty(); }

private:
    // A translator removes itself from the application when it goes.
    QTranslator m_own;
    QTranslator m_qt;
};

} // namespace velmora
