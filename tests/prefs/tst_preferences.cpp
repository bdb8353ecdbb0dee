#include "appearance.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QFile>
#include <QJsonDocument>
#include <QMetaEnum>
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
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(object).toJson());
}

// Records each theme handed to it and what the file held for "theme" at that moment.
class RecordingAppearance final : public Appearance
{
public:
    explicit RecordingAppearance(QString path)
        : m_path(std::move(path))
    {}
    void apply(Theme theme) override
    {
        applied << qMakePair(theme, readObject(m_path).value(u"theme"_s).toString());
    }
    QList<QPair<Theme, QString>> applied;

private:
    QString m_path;
};

QMetaProperty metaProperty(const QObject &object, const QString &name)
{
    const QMetaObject *meta = object.metaObject();
    return meta->property(meta->indexOfProperty(name.toLatin1().constData()));
}

template<typename Enum> void checkCases()
{
    const QMetaEnum meta = QMetaEnum::fromType<Enum>();
    const auto cases = Preferences::allCases<Enum>();
    QCOMPARE(qsizetype(cases.size()), qsizetype(meta.keyCount()));
    for (int i = 0; i < meta.keyCount(); ++i) {
        // Stored texts are the case names, offered in the order of declaration.
        const Enum value = cases[std::size_t(i)];
        QCOMPARE(int(value), meta.value(i));
        const QString name = QString::fromLatin1(meta.key(i));
        QCOMPARE(Preferences::rawValue(value), name);
        QCOMPARE(Preferences::fromRawValue<Enum>(name), std::optional<Enum>(value));
        QVERIFY(!Preferences::fromRawValue<Enum>(name.toUpper()));
    }
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private Q_SLOTS:
    void init()
    {
        m_path =
            m_dir.filePath(u"%1 %2.json"_s.arg(QString::fromLatin1(QTest::currentTestFunction()),
                                               QString::fromLatin1(QTest::currentDataTag())));
    }

    void emptyStoreGivesDefaultsAndWritesNothing()
    {
        SettingsStore store(m_path);
        RecordingAppearance appearance(m_path);
        Preferences preferences(store, &appearance);

        QCOMPARE(preferences.theme(), Theme::system);
        QCOMPARE(preferences.speedUnit(), Preferences::SpeedUnit::bits);
        QVERIFY(preferences.popoverClosesAutomatically());
        QVERIFY(preferences.showIPChangeToast());
        QVERIFY(preferences.showLiveSpeed());
        QCOMPARE(preferences.buttonStyle(), Preferences::ButtonStyle::doubleLine);
        QCOMPARE(preferences.bandwidthData(), Preferences::BandwidthData::both);
        QVERIFY(!preferences.uploadOnTop());
        QVERIFY(!preferences.customColors());
        QCOMPARE(preferences.downloadColorHex(), u"#34C759"_s);
        QCOMPARE(preferences.uploadColorHex(), u"#0A84FF"_s);
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(appearance.applied.isEmpty());

        QCOMPARE(preferences.downloadColor(), QColor(0x34, 0xC7, 0x59));
        preferences.setDownloadColorHex(u"#0000FF"_s);
        preferences.setUploadColorHex(u"#34C75"_s);
        QCOMPARE(preferences.downloadColor(), QColor(0, 0, 0xFF));
        QCOMPARE(preferences.uploadColor(), QColor(0x0A, 0x84, 0xFF)); // the fallback
    }

    void load_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QVariant>("expected");

        const auto row = [](const char *tag, const char *key, const QJsonValue &stored,
                            const QVariant &expected) {
            QTest::newRow(tag) << QString::fromLatin1(key) << stored << expected;
        };
        row("theme dark", "theme", u"dark"_s, QVariant::fromValue(Theme::dark));
        row("theme Dark", "theme", u"Dark"_s, QVariant::fromValue(Theme::system));
        row("theme number", "theme", 2, QVariant::fromValue(Theme::system));
        row("speedUnit bytes", "speedUnit", u"bytes"_s,
            QVariant::fromValue(Preferences::SpeedUnit::bytes));
        row("buttonStyle singleLine", "buttonStyle", u"singleLine"_s,
            QVariant::fromValue(Preferences::ButtonStyle::singleLine));
        row("buttonStyle SingleLine", "buttonStyle", u"SingleLine"_s,
            QVariant::fromValue(Preferences::ButtonStyle::doubleLine));
        row("bandwidthData Upload", "bandwidthData", u"Upload"_s,
            QVariant::fromValue(Preferences::BandwidthData::both));
        row("showLiveSpeed false", "showLiveSpeed", false, false);
        row("showLiveSpeed 0", "showLiveSpeed", 0, false);
        row("showLiveSpeed text false", "showLiveSpeed", u"false"_s, true);
        row("showLiveSpeed 2", "showLiveSpeed", 2, true);
        row("popoverClosesAutomatically null", "popoverClosesAutomatically", QJsonValue::Null,
            true);
        row("showIPChangeToast 0", "showIPChangeToast", 0, false);
        row("uploadOnTop 1", "uploadOnTop", 1, true);
        row("customColors text true", "customColors", u"true"_s, false);
        row("downloadColorHex five digits", "downloadColorHex", u"#34C75"_s, u"#34C75"_s);
        row("uploadColorHex number", "uploadColorHex", 123456, u"#0A84FF"_s);
    }

    // A stored value of the right form is taken; otherwise the default applies, and the
    // entry stays as it is until this setting is assigned.
    void load()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, stored);
        QFETCH(QVariant, expected);
        writeObject(m_path, {{key, stored}});
        SettingsStore store(m_path);
        Preferences preferences(store);
        const QMetaProperty setting = metaProperty(preferences, key);
        QCOMPARE(setting.read(&preferences), expected);

        // Assigning another setting leaves the entry as it is.
        if (key == u"customColors"_s)
            preferences.setUploadOnTop(true);
        else
            preferences.setCustomColors(true);
        QCOMPARE(readObject(m_path).value(key), stored);

        QVERIFY(setting.write(&preferences, expected));
        const QJsonValue typed =
            expected.typeId() == QMetaType::Bool
                ? QJsonValue(expected.toBool())
                : QJsonValue(expected.toString()); // an enumeration gives its case name
        QCOMPARE(readObject(m_path).value(key), typed);
    }

    void assignment_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QJsonValue>("stored");

        QTest::newRow("theme") << QVariant::fromValue(Theme::dark) << QJsonValue(u"dark"_s);
        QTest::newRow("speedUnit")
            << QVariant::fromValue(Preferences::SpeedUnit::bytes) << QJsonValue(u"bytes"_s);
        QTest::newRow("popoverClosesAutomatically") << QVariant(false) << QJsonValue(false);
        QTest::newRow("showIPChangeToast") << QVariant(false) << QJsonValue(false);
        QTest::newRow("showLiveSpeed") << QVariant(false) << QJsonValue(false);
        QTest::newRow("buttonStyle") << QVariant::fromValue(Preferences::ButtonStyle::singleLine)
                                     << QJsonValue(u"singleLine"_s);
        QTest::newRow("bandwidthData") << QVariant::fromValue(Preferences::BandwidthData::download)
                                       << QJsonValue(u"download"_s);
        QTest::newRow("uploadOnTop") << QVariant(true) << QJsonValue(true);
        QTest::newRow("customColors") << QVariant(true) << QJsonValue(true);
        QTest::newRow("downloadColorHex") << QVariant(u"#FF0000"_s) << QJsonValue(u"#FF0000"_s);
        QTest::newRow("uploadColorHex") << QVariant(u"#00FF00"_s) << QJsonValue(u"#00FF00"_s);
    }

    // Every assignment writes; only a change notifies.
    void assignment()
    {
        QFETCH(QVariant, value);
        QFETCH(QJsonValue, stored);
        const QString key = QString::fromLatin1(QTest::currentDataTag());
        writeObject(m_path, {{u"unknown"_s, 42}});
        SettingsStore store(m_path);
        Preferences preferences(store);
        const QMetaProperty setting = metaProperty(preferences, key);
        QSignalSpy spy(&preferences, setting.notifySignal());

        QVERIFY(setting.write(&preferences, value));
        QCOMPARE(setting.read(&preferences), value);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(readObject(m_path), QJsonObject({{u"unknown"_s, 42}, {key, stored}}));

        writeObject(m_path, {{key, u"changed elsewhere"_s}});
        QVERIFY(setting.write(&preferences, value));
        QCOMPARE(readObject(m_path).value(key), stored);
        QCOMPARE(spy.count(), 1);
    }

    void themeAssignmentWritesThenApplies()
    {
        SettingsStore store(m_path);
        RecordingAppearance appearance(m_path);
        Preferences preferences(store, &appearance);
        QStringList storedAtSignal;
        connect(&preferences, &Preferences::themeChanged, this,
                [&] { storedAtSignal << readObject(m_path).value(u"theme"_s).toString(); });

        preferences.setTheme(Theme::dark);
        preferences.setTheme(Theme::dark);
        preferences.setTheme(Theme::system);
        const QList<QPair<Theme, QString>> expected{
            {Theme::dark, u"dark"_s}, {Theme::dark, u"dark"_s}, {Theme::system, u"system"_s}};
        QCOMPARE(appearance.applied, expected);
        // Notified once per change, with the value already written.
        QCOMPARE(storedAtSignal, QStringList({u"dark"_s, u"system"_s}));
    }

    void enumerations()
    {
        checkCases<Theme>();
        checkCases<Preferences::SpeedUnit>();
        checkCases<Preferences::ButtonStyle>();
        checkCases<Preferences::BandwidthData>();
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
