#include "appearance.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QFile>
#include <QJsonDocument>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

using Theme = Preferences::Theme;

namespace {

QJsonObject readObject(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

void writeObject(const QString &path, const QJsonObject &object)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(object).toJson()) > 0);
}

// Records each theme handed to it and what the file held for "theme" at that moment.
struct RecordingAppearance final : Appearance
{
    explicit RecordingAppearance(QString file)
        : path(std::move(file))
    {}
    void apply(Theme theme) override
    {
        applied.append({theme, readObject(path).value(u"theme"_s)});
    }

    QString path;
    QList<QPair<Theme, QJsonValue>> applied;
};

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;
    QString m_path;

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        m_path = m_dir->filePath(u"settings.json"_s);
    }

    // (The other defaults are in setting, where unusable values give them.)
    void coloursAndTheme()
    {
        SettingsStore store(m_path);
        RecordingAppearance appearance(m_path);
        Preferences preferences(store, &appearance);
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(appearance.applied.isEmpty());
        QCOMPARE(preferences.downloadColorHex() + preferences.uploadColorHex(),
                 u"#34C759#0A84FF"_s);

        preferences.setDownloadColorHex(u"#0000FF"_s);
        preferences.setUploadColorHex(u"#34C75"_s);
        QCOMPARE(preferences.downloadColor(), QColor(0, 0, 0xFF));
        QCOMPARE(preferences.uploadColor(), QColor(0x0A, 0x84, 0xFF)); // the fallback

        QStringList storedAtSignal;
        connect(&preferences, &Preferences::themeChanged, this,
                [&] { storedAtSignal << readObject(m_path).value(u"theme"_s).toString(); });
        preferences.setTheme(Theme::dark);
        preferences.setTheme(Theme::dark);
        preferences.setTheme(Theme::system);
        // Applied on every assignment, notified once per change, both after the write.
        const QList<QPair<Theme, QJsonValue>> expected{
            {Theme::dark, u"dark"_s}, {Theme::dark, u"dark"_s}, {Theme::system, u"system"_s}};
        QCOMPARE(appearance.applied, expected);
        QCOMPARE(storedAtSignal, QStringList({u"dark"_s, u"system"_s}));
    }

    void setting_data()
    {
        QTest::addColumn<QJsonValue>("found");
        QTest::addColumn<QVariant>("loaded");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QJsonValue>("stored");

        const auto row = [](const char *key, const QJsonValue &found, auto loaded, auto value,
                            const QJsonValue &stored) {
            QTest::newRow(key) << found << QVariant::fromValue(loaded) << QVariant::fromValue(value)
                               << stored;
        };
        row("theme", u"Dark"_s, Theme::system, Theme::dark, u"dark"_s);
        row("speedUnit", 1, Preferences::SpeedUnit::bits, Preferences::SpeedUnit::bytes,
            u"bytes"_s);
        row("buttonStyle", u"SingleLine"_s, Preferences::ButtonStyle::doubleLine,
            Preferences::ButtonStyle::singleLine, u"singleLine"_s);
        row("bandwidthData", u"Upload"_s, Preferences::BandwidthData::both,
            Preferences::BandwidthData::download, u"download"_s);
        row("showLiveSpeed", 2, true, false, false);
        row("popoverClosesAutomatically", QJsonValue::Null, true, false, false);
        row("showIPChangeToast", 0, false, true, true);
        row("uploadOnTop", 1, true, false, false);
        row("customColors", u"true"_s, false, true, true);
        row("downloadColorHex", u"#34C75"_s, u"#34C75"_s, u"#FF0000"_s, u"#FF0000"_s);
        row("uploadColorHex", 123456, u"#0A84FF"_s, u"#00FF00"_s, u"#00FF00"_s);
    }

    // Loading: the stored forms assignments write, and 0 and 1 for Booleans; anything else
    // gives the default, and the entry stays as it is until this setting is assigned. Every
    // assignment writes; only a change notifies.
    void setting()
    {
        QFETCH(QJsonValue, found);
        QFETCH(QVariant, loaded);
        QFETCH(QVariant, value);
        QFETCH(QJsonValue, stored);
        const QString key = QString::fromLatin1(QTest::currentDataTag());
        writeObject(m_path, {{u"unknown"_s, 42}, {key, found}});
        SettingsStore store(m_path);
        Preferences preferences(store);
        const QMetaObject *meta = preferences.metaObject();
        const QMetaProperty setting = meta->property(meta->indexOfProperty(qPrintable(key)));
        QCOMPARE(setting.read(&preferences), loaded);
        const QString other = key == u"uploadOnTop"_s ? u"showLiveSpeed"_s : u"uploadOnTop"_s;
        preferences.setProperty(qPrintable(other), false);
        QCOMPARE(readObject(m_path).value(key), found);

        QSignalSpy spy(&preferences, setting.notifySignal());
        QVERIFY(setting.write(&preferences, value));
        QCOMPARE(setting.read(&preferences), value);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(readObject(m_path),
                 QJsonObject({{u"unknown"_s, 42}, {other, false}, {key, stored}}));
        SettingsStore reloaded(m_path);
        QCOMPARE(Preferences(reloaded).property(qPrintable(key)), value);

        writeObject(m_path, {{key, u"changed elsewhere"_s}});
        QVERIFY(setting.write(&preferences, value));
        QCOMPARE(readObject(m_path).value(key), stored);
        QCOMPARE(spy.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
