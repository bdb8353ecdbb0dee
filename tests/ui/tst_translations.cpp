#include "gallerywindow.h"
#include "pixels.h"
#include "popover/popoverview.h"
#include "settings/settingsview.h"
#include "toast/toastview.h"
#include "translations.h"
#include "trayitem.h"
#include "viewsetup.h"
#include "widgetview.h"

#include <QAbstractButton>
#include <QRegularExpression>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

// The texts of every label and button shown in every window of both programs as it first
// shows, each one cut short marked as such, and the tray item's menu. The end-to-end run reads
// the windows it opens over AT-SPI; the gallery, the widget still locating, the menu and a
// failed speed test are only here.
QStringList windowTexts(const QString &language)
{
    QStringList all;
    const auto add = [&](QWidget &window, const QString &name) {
        window.show();
        std::ignore = QTest::qWaitForWindowExposed(&window);
        QTest::qWait(20); // the last layout request
        for (QWidget *shown : window.findChildren<QWidget *>()) {
            const auto *label = qobject_cast<QLabel *>(shown);
            const auto *button = qobject_cast<QAbstractButton *>(shown);
            if ((!label && !button) || !shown->isVisibleTo(&window))
                continue;
            const auto *wrapping = qobject_cast<WrappingLabel *>(shown);
            const bool cut = wrapping ? QString(wrapping->text()).remove(u'\n').remove(u' ') !=
                                            QString(wrapping->fullText()).remove(u'\n').remove(u' ')
                                      : shown->sizeHint().width() > shown->width();
            all << (cut ? u"cut: "_s : QString()) + (label ? label->text() : button->text());
        }
        pixels::saveArtifact(&window, u"translations-%1-%2.png"_s.arg(language, name));
    };
    fakes::ViewSetup<PopoverView> popover;
    popover.rig.lookups->addresses = {u"203.0.113.1"_s};
    popover.start(popover.rig.services(fakes::quickTimings()), std::function<void()>());
    std::ignore = fakes::waitUntilIdle(*popover.model);
    // A speed test that fails at every step, for the notice that names the steps.
    popover.click(u"runTestButton"_s);
    std::ignore = QTest::qWaitFor([&] { return popover.model->speedPhase() == SpeedPhase::idle; });
    add(*popover.view, u"popover"_s);

    fakes::ViewSetup<SettingsView> settings;
    settings.start(settings.rig.services());
    add(*settings.view, u"settings"_s);

    const GeoInfo old{.ip = u"203.0.113.1"_s, .country = u"Germany"_s, .countryCode = u"DE"_s};
    const GeoInfo now{.ip = u"198.51.100.7"_s, .country = u"France"_s, .countryCode = u"FR"_s};
    ToastView card(old, now, {});
    add(card, u"card"_s);
    GalleryWindow gallery(GeoEntry{{}, GeoInfo{now}, true});
    add(gallery, u"gallery"_s);
    GeoWidgetView locating(WidgetFamily::medium);
    add(locating, u"locating"_s);

    for (const TrayItem::MenuLine &line : TrayItem::menu())
        all << line.label;
    return all;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windows_data()
    {
        QTest::addColumn<QString>("locale");
        // Beside the names and data the tests give, the words these languages share with English.
        QTest::addColumn<QStringList>("shared");
        const QStringList data{u"Velmora"_s, u"DNS"_s,     u"VPN"_s,    u"Mb/s"_s,
                               u"MB/s"_s,    u"Germany"_s, u"France"_s, u"DE"_s};
        QTest::newRow("de_DE.UTF-8")
            << u"de_DE"_s << data + QStringList{u"Download"_s, u"Upload"_s, u"System"_s};
        QTest::newRow("fr_FR.UTF-8") << u"fr_FR"_s << data;
    }

    // Every text in the language of the locale, as the programs load it, and none cut short.
    void windows()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, shared);
        QLocale::setDefault(QLocale::c());
        const QStringList english = windowTexts(u"en"_s);
        QLocale::setDefault(QLocale(locale));
        const Translations translations;
        QVERIFY(translations.isTranslated());
        const QStringList translated = windowTexts(locale.left(2));

        static const QRegularExpression word(u"\\p{L}{2}"_s);
        QStringList untranslated;
        QCOMPARE(translated.size(), english.size());
        for (qsizetype i = 0; i < english.size(); ++i) {
            const QString &text = translated[i];
            QVERIFY2(!text.startsWith(u"cut: "_s), qPrintable(text));
            QString own = text;
            for (const QString &same : shared)
                own.remove(same);
            if (text == english[i] && own.contains(word))
                untranslated << text;
        }
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u" | "_s)));
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
