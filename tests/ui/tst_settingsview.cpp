#include "../model/fakeservices.h"
#include "appearance.h"
#include "colorwell.h"
#include "preferences.h"
#include "settingsstore.h"
#include "settingsview.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeySequence>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace velmora;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Theme = Preferences::Theme;
using Data = Preferences::BandwidthData;
using Style = Preferences::ButtonStyle;

namespace {

struct RecordingAppearance final : Appearance
{
    void apply(Theme theme) override { applied.append(theme); }
    QList<Theme> applied;
};

// A view over real preferences in a temporary settings file and a model on scripted pieces.
struct Setup
{
    explicit Setup(const QJsonObject &stored = {},
                   LoginItem::Status login = LoginItem::Status::notRegistered)
    {
        path = dir.filePath(u"settings.json"_s);
        QFile file(path);
        if (!stored.isEmpty() && file.open(QIODevice::WriteOnly))
            file.write(QJsonDocument(stored).toJson());
        file.close();
        store = std::make_unique<SettingsStore>(path);
        prefs = std::make_unique<Preferences>(*store, &appearance);
        rig.loginItem->m_status = login;
        model = std::make_unique<AppModel>(rig.services({.refreshInterval = 3'600s}));
        view = std::make_unique<SettingsView>(*model, *prefs);
        view->show();
    }

    // A lookup left suspended would leak its coroutine frames at exit.
    ~Setup()
    {
        if (!fakes::waitUntilIdle(*model))
            qWarning("a lookup is still running");
    }

    template<typename T = QWidget> T &get(const QString &name) const
    {
        T *found = view->findChild<T *>(name);
        if (!found)
            qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return *found;
    }

    QJsonValue storedValue(const QString &key) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly)
                   ? QJsonDocument::fromJson(file.readAll()).object().value(key)
                   : QJsonValue();
    }

    QColor swatchColor(const QString &well) const
    {
        const QImage image = get<ColorWell>(well).findChild<QAbstractButton *>()->grab().toImage();
        return image.pixelColor(image.rect().center());
    }

    QTemporaryDir dir;
    QString path;
    RecordingAppearance appearance;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Preferences> prefs;
    fakes::Rig rig;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<SettingsView> view;
};

void saveArtifact(QWidget &widget, const QString &name)
{
    const QString directory = qEnvironmentVariable("VELMORA_ARTIFACTS");
    if (!directory.isEmpty() && QDir().mkpath(directory))
        QVERIFY(widget.grab().save(QDir(directory).filePath(name)));
}

} // namespace

class TestSettingsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void enabling_data()
    {
        QTest::addColumn<bool>("live");
        QTest::addColumn<Data>("data");
        QTest::addColumn<Style>("style");
        QTest::addColumn<bool>("custom");
        QTest::addColumn<bool>("onTopEnabled");
        QTest::addColumn<bool>("wellsEnabled");

        QTest::newRow("both, double")
            << true << Data::both << Style::doubleLine << true << true << true;
        QTest::newRow("both, single")
            << true << Data::both << Style::singleLine << true << false << true;
        QTest::newRow("download, double")
            << true << Data::download << Style::doubleLine << true << false << true;
        QTest::newRow("upload, double")
            << true << Data::upload << Style::doubleLine << true << false << true;
        QTest::newRow("custom colours off")
            << true << Data::both << Style::doubleLine << false << true << false;
        QTest::newRow("live speed off")
            << false << Data::both << Style::doubleLine << true << false << false;
    }

    void enabling()
    {
        QFETCH(bool, live);
        QFETCH(Data, data);
        QFETCH(Style, style);
        QFETCH(bool, custom);
        QFETCH(bool, onTopEnabled);
        QFETCH(bool, wellsEnabled);

        // Start from the opposite of each rule so that every setting has to be followed.
        Setup setup({{u"showLiveSpeed"_s, !live},
                     {u"customColors"_s, !custom},
                     {u"bandwidthData"_s, data == Data::both ? u"upload"_s : u"both"_s}});
        setup.prefs->setShowLiveSpeed(live);
        setup.prefs->setBandwidthData(data);
        setup.prefs->setButtonStyle(style);
        setup.prefs->setCustomColors(custom);

        QVERIFY(setup.get(u"showLiveSpeed"_s).isEnabled());
        for (const QString &name :
             {u"bandwidthData"_s, u"styleSingle"_s, u"styleDouble"_s, u"customColors"_s})
            QCOMPARE(setup.get(name).isEnabled(), live);
        QCOMPARE(setup.get(u"uploadOnTop"_s).isEnabled(), onTopEnabled);
        QCOMPARE(setup.get(u"downloadColor"_s).isEnabled(), wellsEnabled);
        QCOMPARE(setup.get(u"uploadColor"_s).isEnabled(), wellsEnabled);
        if (!live)
            saveArtifact(*setup.view, u"settings-live-speed-off.png"_s);
    }

    void controlStoresValue_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("stored");

        QTest::newRow("dark") << u"themeDark"_s << u"theme"_s << QJsonValue(u"dark"_s);
        QTest::newRow("light") << u"themeLight"_s << u"theme"_s << QJsonValue(u"light"_s);
        QTest::newRow("MB/s") << u"unitBytes"_s << u"speedUnit"_s << QJsonValue(u"bytes"_s);
        QTest::newRow("single line")
            << u"styleSingle"_s << u"buttonStyle"_s << QJsonValue(u"singleLine"_s);
        QTest::newRow("download only")
            << u"bandwidthData"_s << u"bandwidthData"_s << QJsonValue(u"download"_s);
        QTest::newRow("live speed")
            << u"showLiveSpeed"_s << u"showLiveSpeed"_s << QJsonValue(false);
        QTest::newRow("toast") << u"showIPChangeToast"_s << u"showIPChangeToast"_s
                               << QJsonValue(false);
        QTest::newRow("popover") << u"popoverClosesAutomatically"_s
                                 << u"popoverClosesAutomatically"_s << QJsonValue(false);
        QTest::newRow("upload on top") << u"uploadOnTop"_s << u"uploadOnTop"_s << QJsonValue(true);
        QTest::newRow("custom colours")
            << u"customColors"_s << u"customColors"_s << QJsonValue(true);
    }

    void controlStoresValue()
    {
        QFETCH(QString, control);
        QFETCH(QString, key);
        QFETCH(QJsonValue, stored);

        Setup setup;
        QWidget &widget = setup.get(control);
        if (auto *combo = qobject_cast<QComboBox *>(&widget))
            combo->setCurrentIndex(combo->findText(u"Download only"_s));
        else
            qobject_cast<QAbstractButton *>(&widget)->click();

        QCOMPARE(setup.storedValue(key), stored);
        if (key == u"theme"_s)
            QCOMPARE(setup.appearance.applied,
                     QList<Theme>{*Preferences::fromRawValue<Theme>(stored.toString())});
    }

    void controlsFollowPreferences()
    {
        Setup setup({{u"theme"_s, u"dark"_s},
                     {u"speedUnit"_s, u"bytes"_s},
                     {u"bandwidthData"_s, u"upload"_s},
                     {u"uploadOnTop"_s, true}});
        QVERIFY(setup.get<QAbstractButton>(u"themeDark"_s).isChecked());
        QVERIFY(setup.get<QAbstractButton>(u"unitBytes"_s).isChecked());
        QCOMPARE(setup.get<QComboBox>(u"bandwidthData"_s).currentText(), u"Upload only"_s);
        QVERIFY(setup.get<QAbstractButton>(u"uploadOnTop"_s).isChecked());
        QVERIFY(setup.get<QAbstractButton>(u"styleDouble"_s).isChecked());

        setup.prefs->setTheme(Theme::light);
        setup.prefs->setSpeedUnit(Preferences::SpeedUnit::bits);
        setup.prefs->setBandwidthData(Data::download);
        setup.prefs->setButtonStyle(Style::singleLine);
        setup.prefs->setUploadOnTop(false);
        setup.prefs->setShowIPChangeToast(false);
        setup.prefs->setUploadColorHex(u"#0a0B0c"_s);

        QVERIFY(setup.get<QAbstractButton>(u"themeLight"_s).isChecked());
        QVERIFY(!setup.get<QAbstractButton>(u"themeDark"_s).isChecked());
        QVERIFY(setup.get<QAbstractButton>(u"unitBits"_s).isChecked());
        QCOMPARE(setup.get<QComboBox>(u"bandwidthData"_s).currentText(), u"Download only"_s);
        QVERIFY(setup.get<QAbstractButton>(u"styleSingle"_s).isChecked());
        QVERIFY(!setup.get<QAbstractButton>(u"uploadOnTop"_s).isChecked());
        QVERIFY(!setup.get<QAbstractButton>(u"showIPChangeToast"_s).isChecked());
        // "&" is shown as itself, not taken as a shortcut marker.
        QCOMPARE(QKeySequence::mnemonic(setup.get<QAbstractButton>(u"showLiveSpeed"_s).text()),
                 QKeySequence());
        QCOMPARE(setup.get<ColorWell>(u"uploadColor"_s).color(), QColor(0x0A, 0x0B, 0x0C));
        // Showing a change does not assign it again.
        QCOMPARE(setup.appearance.applied, QList<Theme>{Theme::light});
        QCOMPARE(setup.storedValue(u"uploadColorHex"_s), QJsonValue(u"#0a0B0c"_s));
    }

    void wellShowsStoredColor_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QColor>("shown");

        QTest::newRow("readable") << u"#1a2B3c"_s << QColor(0x1A, 0x2B, 0x3C);
        QTest::newRow("unreadable") << u"green"_s << QColor(Qt::white);
        QTest::newRow("empty") << QString() << QColor(Qt::white);
    }

    void wellShowsStoredColor()
    {
        QFETCH(QString, code);
        QFETCH(QColor, shown);

        // Custom colours are off by default: the wells are disabled but show the colour.
        Setup setup({{u"downloadColorHex"_s, code}});
        QVERIFY(!setup.get(u"downloadColor"_s).isEnabled());
        QCOMPARE(setup.get<ColorWell>(u"downloadColor"_s).color(), shown);
        QCOMPARE(setup.swatchColor(u"downloadColor"_s), shown);
    }

    void chosenColorIsStored()
    {
        Setup setup({{u"customColors"_s, true}, {u"uploadColorHex"_s, u"bad"_s}});
        auto &well = setup.get<ColorWell>(u"uploadColor"_s);
        QTest::mouseClick(well.findChild<QAbstractButton *>(), Qt::LeftButton);
        QColorDialog *dialog = well.dialog();
        QVERIFY(dialog);
        // Nothing modal: the rest of the settings stay usable while choosing.
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(!dialog->testOption(QColorDialog::ShowAlphaChannel));
        QCOMPARE(dialog->currentColor(), QColor(Qt::white));

        dialog->setCurrentColor(QColor::fromRgbF(0.5f, 0.25f, 1.0f));
        dialog->accept();
        QCOMPARE(setup.storedValue(u"uploadColorHex"_s), QJsonValue(u"#8040FF"_s));
        QCOMPARE(setup.prefs->uploadColorHex(), u"#8040FF"_s);
        QCOMPARE(setup.swatchColor(u"uploadColor"_s), QColor(0x80, 0x40, 0xFF));
        QVERIFY(!well.dialog());
        QCOMPARE(setup.storedValue(u"downloadColorHex"_s), QJsonValue(QJsonValue::Undefined));

        // Switching custom colours off closes a chooser left open, without a choice.
        well.openDialog();
        QVERIFY(well.dialog());
        setup.prefs->setCustomColors(false);
        QVERIFY(!well.dialog());
        well.openDialog();
        QVERIFY(!well.dialog());
        QCOMPARE(setup.prefs->uploadColorHex(), u"#8040FF"_s);
    }

    void launchAtLogin_data()
    {
        QTest::addColumn<LoginItem::Status>("initial");
        QTest::addColumn<QString>("failure");

        QTest::newRow("register refused")
            << LoginItem::Status::notRegistered << u"Read-only file system"_s;
        QTest::newRow("removal refused") << LoginItem::Status::enabled << u"Permission denied"_s;
    }

    void launchAtLogin()
    {
        QFETCH(LoginItem::Status, initial);
        QFETCH(QString, failure);
        const bool wasOn = initial == LoginItem::Status::enabled;

        Setup setup({}, initial);
        QVERIFY(QTest::qWaitForWindowExposed(setup.view.get()));
        auto &toggle = setup.get<QAbstractButton>(u"launchAtLogin"_s);
        auto &error = setup.get<QLabel>(u"launchAtLoginError"_s);
        QCOMPARE(toggle.isChecked(), wasOn);
        QVERIFY(!error.isVisible());
        // As the window that hosts the view does.
        setup.view->setFixedSize(setup.view->sizeHint());
        const int plainHeight = setup.view->height();

        setup.rig.loginItem->m_nextError = failure;
        toggle.click();
        QCOMPARE(toggle.isChecked(), wasOn);
        QVERIFY(error.isVisible());
        QCOMPARE(error.text(), failure);
        QCOMPARE(error.palette().color(QPalette::WindowText), QColor(0xFF, 0x95, 0x00));
        QVERIFY(error.font().pointSizeF() < toggle.font().pointSizeF());
        // The window grows to show the text without squeezing the rows.
        QVERIFY(setup.view->height() > plainHeight);
        QCOMPARE(setup.view->height(), setup.view->sizeHint().height());
        saveArtifact(*setup.view, u"settings-login-error.png"_s);

        toggle.click();
        QCOMPARE(toggle.isChecked(), !wasOn);
        QCOMPARE(setup.model->launchAtLogin(), !wasOn);
        QVERIFY(!error.isVisible());
        QCOMPARE(setup.view->height(), plainHeight);

        setup.model->setLaunchAtLogin(wasOn); // from elsewhere
        QCOMPARE(toggle.isChecked(), wasOn);
    }
};

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
