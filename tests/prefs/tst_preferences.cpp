#include "colorcode.h"
#include "preferences.h"
#include "settingsstore.h"
#include "testhelpers.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>

using namespace velmora;
using namespace Qt::StringLiterals;

using Unit = Preferences::SpeedUnit;

// The settings file, the settings kept in it, and the texts and colours made from them.
class TestPreferences : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;
    QString m_path;

    static QJsonObject readObject(const QString &path)
    {
        return QJsonDocument::fromJson(test::readFile(path)).object();
    }

private Q_SLOTS:
    // QCoreApplication takes the locale from the environment; a German one must not turn the
    // decimal point into a comma. Every test runs under one, when it is installed (localedef -i
    // de_DE -f UTF-8 de_DE.UTF-8).
    void initTestCase()
    {
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            qWarning("no German locale installed: formatting is checked in the C locale only");
    }
    void cleanupTestCase() { std::setlocale(LC_NUMERIC, "C"); }

    void init()
    {
        m_dir.emplace();
        m_path = m_dir->filePath(u"settings.json"_s);
    }

    // Rates as formatted, colour codes as read and as written. Megabits per second are
    // formatted in the popover's tests (tst_uirules).
    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, const QString &text, const QString &expected) {
            QTest::newRow(tag) << text << expected;
        };
        QString (*rate)(double, Unit) = &Preferences::formatRate;
        row("negative", rate(-5'000, Unit::bytes), u"0 B/s"_s);
        row("99.96 KB keeps its decimal", rate(99'960, Unit::bytes), u"100.0 KB/s"_s);
        row("2 TB stays giga", rate(2e12, Unit::bytes), u"2000 GB/s"_s);

        const auto fromHex = [](const QString &code) {
            const std::optional<QColor> color = velmora::colorFromHex(code);
            return color ? color->name().toUpper() : u"none"_s;
        };
        row("lower case, two signs each side", fromHex(u"##34c759##"_s), u"#34C759"_s);
        row("letter beyond F", fromHex(u"#34C75G"_s), u"none"_s);
        row("two digits, upper case", hexString(QColor(1, 0xCD, 0xEF)), u"#01CDEF"_s);
    }

    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
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
        row("theme", u"Dark"_s, Preferences::Theme::system, Preferences::Theme::dark, u"dark"_s);
        row("speedUnit", 1, Unit::bits, Unit::bytes, u"bytes"_s);
        row("showLiveSpeed", 2, true, false, false);
        row("popoverClosesAutomatically", QJsonValue::Null, true, false, false);
        row("showIPChangeToast", 0, false, true, true);
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
        QVERIFY(test::writeFile(
            m_path, QJsonDocument(QJsonObject{{u"unknown"_s, 42}, {key, found}}).toJson()));
        SettingsStore store(m_path);
        Preferences preferences(store);
        const QMetaObject *meta = preferences.metaObject();
        const QMetaProperty setting = meta->property(meta->indexOfProperty(qPrintable(key)));
        QCOMPARE(setting.read(&preferences), loaded);
        const QString other = u"uploadOnTop"_s;
        preferences.setProperty(qPrintable(other), true);
        QCOMPARE(readObject(m_path).value(key), found);

        QSignalSpy spy(&preferences, setting.notifySignal());
        QVERIFY(setting.write(&preferences, value));
        QCOMPARE(setting.read(&preferences), value);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(readObject(m_path),
                 QJsonObject({{u"unknown"_s, 42}, {other, true}, {key, stored}}));
        SettingsStore reloaded(m_path);
        QCOMPARE(Preferences(reloaded).property(qPrintable(key)), value);

        QVERIFY(test::writeFile(
            m_path, QJsonDocument(QJsonObject{{key, u"changed elsewhere"_s}}).toJson()));
        QVERIFY(setting.write(&preferences, value));
        QCOMPARE(readObject(m_path).value(key), stored);
        QCOMPARE(spy.count(), 1);
    }

    void unusableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content");

        QTest::newRow("not JSON") << "theme = dark\n"_ba;
        QTest::newRow("array") << R"(["theme", "dark"])"_ba;
    }

    void unusableFileIsKeptAside()
    {
        QFETCH(QByteArray, content);
        QVERIFY(test::writeFile(m_path, content));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"is unusable"_s));
        SettingsStore store(m_path);
        QVERIFY(store.value(u"theme"_s).isUndefined());

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"kept as"_s));
        QVERIFY(store.setValue(u"speedUnit"_s, u"bytes"_s));
        QCOMPARE(readObject(m_path), QJsonObject({{u"speedUnit"_s, u"bytes"_s}}));

        // Spoilt again, most likely within the same second: the first copy must survive.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"kept as"_s));
        QVERIFY(test::writeFile(m_path, "~"));
        QVERIFY(store.setValue(u"speedUnit"_s, u"bits"_s));
        QStringList keptAside;
        for (const QString &name : QDir(m_dir->path()).entryList({u"settings.json.corrupt-*"_s}))
            keptAside << QString::fromLatin1(test::readFile(m_dir->filePath(name)));
        QCOMPARE(keptAside, (QStringList{QString::fromLatin1(content), u"~"_s}));
    }

    // A FIFO in place of the file is not read, which could block: the defaults are used, and it
    // is never replaced.
    void oddFileIsLeftAlone()
    {
        QVERIFY(test::makeOddFile(m_path, S_IFIFO));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot be read"_s));
        SettingsStore store(m_path);
        QVERIFY(store.value(u"theme"_s).isUndefined());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Could not save"_s));
        QVERIFY(!store.setValue(u"theme"_s, u"dark"_s));
        QCOMPARE(test::fileMode(m_path) & S_IFMT, mode_t(S_IFIFO));
    }

    // The temporary file of a save a crash cut short goes at the next load; nothing else does.
    void unfinishedSaveIsRemoved()
    {
        QStringList kept{u"Settings.json.velmora-save-abcdef"_s,
                         u"settings.json.velmora-save-abc12"_s, u"settings.json.corrupt-x"_s};
        for (const QString &name : kept + QStringList{u"settings.json.velmora-save-Ab3xZ9"_s})
            QVERIFY(test::writeFile(m_dir->filePath(name), "{}"));
        SettingsStore store(m_path);
        kept.sort();
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files, QDir::Name), kept);
    }

    // A file deleted since is written whole again from what the store holds; one still there
    // keeps what others wrote into it since; a folder open to others is closed, and the file is
    // the user's alone.
    void lostAndSharedWrites()
    {
        const QString folder = m_dir->filePath(u"config"_s);
        const QString path = folder + u"/settings.json"_s;
        QVERIFY(test::writeFile(path, R"({"unknown": [1, "two"], "theme": "light"})"));
        SettingsStore store(path);
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(store.setValue(u"speedUnit"_s, u"bytes"_s));
        const QJsonObject expected{{u"unknown"_s, QJsonArray{1, u"two"_s}},
                                   {u"theme"_s, u"light"_s},
                                   {u"speedUnit"_s, u"bytes"_s}};
        QCOMPARE(readObject(path), expected);
        QVERIFY(test::writeFile(path, R"({"other": true})") &&
                chmod(qPrintable(folder), 0755) == 0);
        QVERIFY(store.setValue(u"theme"_s, u"dark"_s));
        QCOMPARE(readObject(path), QJsonObject({{u"other"_s, true}, {u"theme"_s, u"dark"_s}}));
        QCOMPARE(test::fileMode(folder), S_IFDIR | 0700);
        QCOMPARE(test::fileMode(path), S_IFREG | 0600);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
