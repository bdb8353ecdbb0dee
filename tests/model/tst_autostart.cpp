#include "platform/loginitem_linux.h"
#include "testhelpers.h"

#include <QScopeGuard>
#include <QTemporaryDir>

using namespace velmora;
using namespace velmora::test;
using namespace Qt::StringLiterals;

using Status = LoginItem::Status;

class TestAutostart : public QObject
{
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_configHome;
    QString m_program;

    XdgAutostartLoginItem item() const
    {
        return XdgAutostartLoginItem({.programPath = m_program, .configHome = m_configHome});
    }
    QString entryPath() const { return m_configHome + u"/autostart/velmora.desktop"_s; }

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        m_configHome = m_dir->filePath(u"config"_s);
        m_program = m_dir->filePath(u"bin/velmora"_s);
        QVERIFY(writeFile(m_program, "#!/bin/sh\n", true));
    }

    void configHomeFromEnvironment()
    {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", saved); });
        qputenv("XDG_CONFIG_HOME", m_configHome.toUtf8());
        XdgAutostartLoginItem autostart({.programPath = m_program, .configHome = std::nullopt});
        QCOMPARE(autostart.entryPath(), entryPath());
        qputenv("XDG_CONFIG_HOME", "relative"); // to be ignored
        QCOMPARE(autostart.entryPath(), QDir::homePath() + u"/.config/autostart/velmora.desktop"_s);
    }

    void existingEntry_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Status>("status");
        QTest::addColumn<bool>("ours"); // removed by unregistering
        const QByteArray entry = "[Desktop Entry]\nType=Application\nExec=@\n";
        QTest::newRow("none") << QByteArray() << Status::notRegistered << true;
        QTest::newRow("hidden") << entry + "Hidden=true\n" << Status::requiresApproval << true;
        QTest::newRow("GNOME switched off") << entry + "X-GNOME-Autostart-enabled=false\n"
                                            << Status::requiresApproval << true;
        QTest::newRow("spaces, arguments, key of another group")
            << "[Desktop Entry]\nExec = @ --hidden %u\n[Desktop Action quit]\nHidden=true\n"_ba
            << Status::enabled << true;
        QTest::newRow("found on PATH")
            << "[Desktop Entry]\nExec=velmora\n"_ba << Status::enabled << true;
        QTest::newRow("another program")
            << "[Desktop Entry]\nExec=/usr/bin/other\n"_ba << Status::notRegistered << false;
    }

    void existingEntry()
    {
        QFETCH(QByteArray, content);
        QFETCH(Status, status);
        QFETCH(bool, ours);
        const QByteArray savedPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", savedPath); });
        qputenv("PATH", QFileInfo(m_program).absolutePath().toUtf8());
        QVERIFY(content.isNull() ||
                writeFile(entryPath(), content.replace('@', m_program.toUtf8())));

        XdgAutostartLoginItem autostart = item();
        QCOMPARE(autostart.status(), status);
        QCOMPARE(autostart.unregisterItem(), std::nullopt);
        QCOMPARE(readFile(entryPath()), ours ? QByteArray() : content);
        QCOMPARE(autostart.registerItem(), std::nullopt); // a fresh entry, whatever was there
        QCOMPARE(autostart.status(), Status::enabled);
        QVERIFY(readFile(entryPath()).startsWith("[Desktop Entry]\nType=Application\n"));
        QCOMPARE(autostart.unregisterItem(), std::nullopt);
        QVERIFY(!QFile::exists(entryPath()));
    }

    void awkwardProgramPath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line"); // string escapes, then quoting, then field codes
        QTest::newRow("space") << u"my apps/velmora"_s << u"Exec=\"@/my apps/velmora\""_s;
        QTest::newRow("quote, dollar, backslash, percent")
            << u"a\"b$c\\d%u/velmora"_s << u"Exec=\"@/a\\\\\"b\\\\$c\\\\\\\\d%%u/velmora\""_s;
    }

    void awkwardProgramPath()
    {
        QFETCH(QString, name);
        QFETCH(QString, line);
        const QString folder = QFileInfo(m_program).absolutePath();
        m_program = folder + u'/' + name;
        QVERIFY(writeFile(m_program, "#!/bin/sh\n", true));
        QCOMPARE(item().registerItem(), std::nullopt);
        const QStringList lines = QString::fromUtf8(readFile(entryPath())).split(u'\n');
        QVERIFY2(lines.contains(line.replace(u'@', folder)), qPrintable(lines.join(u'\n')));
        QCOMPARE(item().status(), Status::enabled);
    }

    void programNotFound()
    {
        const QByteArray entry = "[Desktop Entry]\nExec=" + m_program.toUtf8() + '\n';
        QVERIFY(writeFile(entryPath(), entry) && QFile::remove(m_program));
        XdgAutostartLoginItem autostart = item();
        QCOMPARE(autostart.status(), Status::notFound);
        QVERIFY(!autostart.registerItem().value_or(QString()).isEmpty());
        QVERIFY(!autostart.unregisterItem().value_or(QString()).isEmpty());
        QCOMPARE(readFile(entryPath()), entry);
    }

    void unwritable()
    {
        // Files where folders must be: that stops even root.
        for (const QString &blocker : {m_configHome, entryPath() + u"/inside"_s}) {
            QVERIFY(writeFile(blocker, "not a folder"));
            const std::optional<QString> error = item().registerItem();
            QVERIFY(error.has_value());
            QVERIFY2(error->contains(m_configHome), qPrintable(*error));
            QCOMPARE(item().status(), Status::notRegistered);
            QFile::remove(m_configHome); // the first blocker, out of the second's way
        }
    }
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
