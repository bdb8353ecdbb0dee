#include "pixels.h"
#include "settings/settingsview.h"
#include "settingsstore.h"
#include "viewsetup.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Theme = Preferences::Theme;
using Data = Preferences::BandwidthData;
using Style = Preferences::ButtonStyle;

namespace {

using Setup = fakes::ViewSetup<SettingsView>;

// What a control shows: checked or not, or the chosen item.
QVariant shown(QWidget &control)
{
    if (auto *combo = qobject_cast<QComboBox *>(&control))
        return combo->currentText();
    return qobject_cast<QAbstractButton *>(&control)->isChecked();
}

} // namespace

class TestSettingsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlStoresAndFollows_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("stored");

        const auto row = [](const char *control, const char *key, const QJsonValue &stored) {
            QTest::newRow(control)
                << QString::fromLatin1(control) << QString::fromLatin1(key) << stored;
        };
        row("themeDark", "theme", u"dark"_s);
        row("bandwidthData", "bandwidthData", u"download"_s);
        row("showLiveSpeed", "showLiveSpeed", false);
    }

    // A control stores its value at once; a change made elsewhere shows at once, without
    // being assigned again.
    void controlStoresAndFollows()
    {
        QFETCH(QString, control);
        QFETCH(QString, key);
        QFETCH(QJsonValue, stored);

        Setup setup;
        setup.start(setup.rig.services({.refreshInterval = 3'600s}));
        QWidget &widget = setup.get(control);
        const QVariant before = shown(widget);
        const QVariant defaultValue = setup.prefs.property(qPrintable(key));
        if (auto *combo = qobject_cast<QComboBox *>(&widget))
            combo->setCurrentIndex(combo->findText(u"Download only"_s));
        else
            qobject_cast<QAbstractButton *>(&widget)->click();
        QCOMPARE(SettingsStore(setup.store.filePath()).value(key), stored); // what the file holds
        QVERIFY(shown(widget) != before);
        setup.prefs.setProperty(qPrintable(key), defaultValue);
        QCOMPARE(shown(widget), before);
    }

    // The window as a user sees it, in the dark theme's own palette, with an error line: a
    // screenshot, what can be read back from the pixels, and how the line comes and goes. (The
    // write error, a label of the same kind, is tst_settingsdurability's, on real full and
    // read-only file systems.)
    void looksRight()
    {
        const fakes::ThemedApplication themed(Theme::dark);
        QCOMPARE(QApplication::palette(), FusionAppearance::darkPalette());
        Setup setup;
        setup.prefs.setTheme(Theme::dark);
        setup.start(setup.rig.services({.refreshInterval = 3'600s}));
        setup.view->setFixedSize(setup.view->sizeHint()); // as the window that hosts the view does
        const int plainHeight = setup.view->height();
        auto &toggle = setup.get<QCheckBox>(u"launchAtLogin"_s);
        auto &loginError = setup.get<QLabel>(u"launchAtLoginError"_s);

        // A refused login item springs the toggle back and says why, in a taller window.
        setup.rig.loginItem->m_nextError = u"Read-only file system"_s;
        toggle.click();
        QVERIFY(!toggle.isChecked());
        QCOMPARE(loginError.text(), u"Read-only file system"_s);
        QVERIFY(setup.view->height() > plainHeight);
        QCOMPARE(setup.view->height(), setup.view->sizeHint().height());

        // The error line reads 4.5:1 on the window.
        const QRgb window = setup.view->palette().color(QPalette::Window).rgb();
        QVERIFY(pixels::bestContrast(pixels::grab(&loginError), loginError.rect(), window) >= 4.5);

        // The chosen Theme segment stands out 3:1 from the others, its text 4.5:1 on its fill.
        const QImage control = pixels::grab(setup.get(u"themeSystem"_s).parentWidget());
        const auto fill = [&](const QString &name) {
            const QRect area = setup.get(name).geometry();
            return control.pixel(area.left() + 3, area.center().y());
        };
        const QRect chosen = setup.get(u"themeDark"_s).geometry();
        QVERIFY(pixels::contrast(fill(u"themeDark"_s), fill(u"themeSystem"_s)) >= 3);
        QVERIFY(pixels::bestContrast(control, chosen, fill(u"themeDark"_s)) >= 4.5);

        // The line goes once the next attempt works, and the window is as before.
        toggle.click();
        QVERIFY(toggle.isChecked() && setup.model->launchAtLogin());
        QVERIFY(!loginError.isVisible());
        QCOMPARE(setup.view->height(), plainHeight);
        setup.model->setLaunchAtLogin(false); // from elsewhere
        QVERIFY(!toggle.isChecked());
    }
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
