#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace velmora;
using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) >= 0);
}

QJsonObject readObject(const QString &path)
{
    return QJsonDocument::fromJson(readAll(path)).object();
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unusableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content");

        QTest::newRow("not JSON") << "theme = dark\n"_ba;
        QTest::newRow("array") << R"(["theme", "dark"])"_ba;
    }

    void unusableFileIsKeptAside()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"settings.json"_s);
        writeAll(path, content);
        const auto keptAside = [&] {
            QStringList copies;
            for (const QString &name : QDir(dir.path()).entryList({u"settings.json.corrupt-*"_s}))
                copies << QString::fromLatin1(readAll(dir.filePath(name)));
            return copies;
        };

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"is unusable"_s));
        SettingsStore store(path);
        QVERIFY(store.value(u"theme"_s).isUndefined());
        QCOMPARE(readAll(path), content);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"kept as"_s));
        QVERIFY(store.setValue(u"speedUnit"_s, u"bytes"_s));
        QCOMPARE(keptAside(), QStringList{QString::fromLatin1(content)});
        QCOMPARE(readObject(path), QJsonObject({{u"speedUnit"_s, u"bytes"_s}}));

        // Spoilt again, most likely within the same second: the first copy must survive.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"kept as"_s));
        writeAll(path, "~");
        QVERIFY(store.setValue(u"speedUnit"_s, u"bits"_s));
        QCOMPARE(keptAside().size(), 2);
        QVERIFY(keptAside().contains(QString::fromLatin1(content)));
    }

    // A write that fails keeps what is stored; one into a file deleted since stores all held.
    void failedAndLostWrites()
    {
        QTemporaryDir dir;
        // A file where the folder should be: the folder cannot be made, even as root.
        const QString blocker = dir.filePath(u"config"_s);
        const QString path = blocker + u"/settings.json"_s;
        QVERIFY(QDir().mkpath(blocker));
        writeAll(path, R"({"unknown": [1, "two"], "theme": "light"})");
        SettingsStore store(path);
        QVERIFY(QDir(blocker).removeRecursively());
        writeAll(blocker, "not a folder");

        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"Could not save setting \"theme\""_s));
        QVERIFY(!store.setValue(u"theme"_s, u"dark"_s));
        QCOMPARE(store.lastError(), u"cannot create the folder "_s + blocker);
        QCOMPARE(store.text(u"theme"_s), std::optional<QString>(u"light"_s));

        QVERIFY(QFile::remove(blocker));
        QVERIFY(store.setValue(u"speedUnit"_s, u"bytes"_s));
        QVERIFY(store.lastError().isEmpty());
        const QJsonObject expected{{u"unknown"_s, QJsonArray{1, u"two"_s}},
                                   {u"theme"_s, u"light"_s},
                                   {u"speedUnit"_s, u"bytes"_s}};
        QCOMPARE(readObject(path), expected);
        // A file still there keeps what others wrote into it since.
        writeAll(path, R"({"other": true})");
        QVERIFY(store.setValue(u"theme"_s, u"dark"_s));
        QCOMPARE(readObject(path), QJsonObject({{u"other"_s, true}, {u"theme"_s, u"dark"_s}}));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
