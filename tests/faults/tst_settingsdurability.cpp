// Settings under crashes and failing disks. A change counts as acknowledged once the setter has
// returned without a write error: that is when the settings window shows it as saved. The killed
// process is this program itself in driver mode, saving through the same Preferences and store
// code velmora's settings window uses and printing each acknowledged round, so that the moment of
// acknowledgement is known exactly, which a window clicked from outside cannot tell.
#include "../model/privatenetwork.h"
#include "../ui/viewsetup.h"
#include "placements.h"
#include "settings/settingsview.h"
#include "testhelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace velmora;

namespace {

// Saves round after round, each a colour code and a toggle, printing each once both are saved.
// Goes on from the round whose colour code the file holds.
int drive(const QString &path)
{
    SettingsStore store(path);
    Preferences prefs(store);
    const QString saved = store.text(u"downloadColorHex"_s).value_or(u"#-1"_s);
    for (int round = saved.mid(1).toInt(nullptr, 16) + 1;; ++round) {
        prefs.setDownloadColorHex(u"#%1"_s.arg(round, 6, 16, QChar(u'0')));
        prefs.setUploadOnTop(round % 2 == 1);
        if (!prefs.lastWriteError().isEmpty())
            return 1;
        std::printf("%d\n", round);
        std::fflush(stdout);
    }
}

} // namespace

class TestSettingsDurability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // SIGKILL at random moments never leaves a file that does not read whole, nor one older
    // than the last acknowledged change, nor one that lost the other setting.
    void killedWhileSaving()
    {
        const int rounds = qEnvironmentVariableIntValue("VELMORA_KILL_ROUNDS") ?: 100;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"settings.json"_s);
        for (int round = 0; round < rounds; ++round) {
            QProcess driver;
            driver.start(QCoreApplication::applicationFilePath(), {u"--drive"_s, path});
            QVERIFY(driver.waitForReadyRead(10'000));
            QThread::usleep(QRandomGenerator::global()->bounded(30'000));
            ::kill(pid_t(driver.processId()), SIGKILL);
            QVERIFY(driver.waitForFinished(10'000));
            const QList<QByteArray> lines = driver.readAllStandardOutput().split('\n');
            // The last line may be cut short; the one before it is complete.
            QVERIFY(lines.size() >= 2);
            const int acknowledged = lines.value(lines.size() - 2).toInt();

            QJsonParseError error{};
            const QJsonObject saved =
                QJsonDocument::fromJson(test::readFile(path), &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
            QCOMPARE_GE(saved.value(u"downloadColorHex"_s).toString().mid(1).toInt(nullptr, 16),
                        acknowledged);
            // Its toggle is the last round's, or the one before when it was killed in between.
            QVERIFY(saved.value(u"uploadOnTop"_s).isBool());
        }
    }

    // A full file system or a read-only folder: the window says why, the file keeps the last
    // good settings, and the next change after the fault is gone is saved.
    void diskRefuses_data()
    {
        QTest::addColumn<bool>("full");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full file system") << true << u"No space left on device"_s;
        QTest::newRow("read-only folder") << false << u"Read-only file system"_s;
    }

    void diskRefuses()
    {
        QFETCH(bool, full);
        QFETCH(QString, reason);
        if (!test::noPrivateNetwork.isEmpty())
            QSKIP(qPrintable(test::noPrivateNetwork));
        fakes::ViewSetup<SettingsView> setup;
        const QByteArray folder = QFile::encodeName(setup.folder);
        QVERIFY(QDir().mkpath(setup.folder));
        QVERIFY(mount("tmpfs", folder, "tmpfs", 0, "size=64k") == 0);
        const auto unmount = qScopeGuard([&] { umount2(folder, MNT_DETACH); });
        setup.prefs.setUploadOnTop(true);
        // The widgets' placements refuse alike and keep theirs.
        PlacementStore placements(setup.folder + u"/widgets.json"_s);
        const QList<WidgetPlacement> placed{{.family = WidgetFamily::small, .screen = u"A"_s}};
        QVERIFY(placements.save(placed));
        const QByteArray good = test::readFile(setup.store.filePath());
        QVERIFY(good.contains("\"uploadOnTop\": true"));

        // More than the file system holds: written as far as it goes, it fills the rest.
        QFile filler(setup.folder + u"/filler"_s);
        if (full)
            QVERIFY(filler.open(QIODevice::WriteOnly) &&
                    filler.write(QByteArray(1 << 16, 'x')) > 0);
        else
            QVERIFY(mount(nullptr, folder, nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        setup.start(setup.rig.services({.refreshInterval = 3'600s}));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Could not save"_s));
        setup.get<QAbstractButton>(u"uploadOnTop"_s).click();
        const auto &error = setup.get<QLabel>(u"writeError"_s);
        QVERIFY2(error.isVisible() && error.text().contains(reason), qPrintable(error.text()));
        QCOMPARE(test::readFile(setup.store.filePath()), good);
        QVERIFY(!placements.save({}));
        QCOMPARE(placements.load(), placed);

        QVERIFY(full ? filler.remove() : mount(nullptr, folder, nullptr, MS_REMOUNT, nullptr) == 0);
        setup.get<QAbstractButton>(u"uploadOnTop"_s).click();
        QVERIFY(!error.isVisible());
        QVERIFY(test::readFile(setup.store.filePath()).contains("\"uploadOnTop\": false"));
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--drive") == 0)
        return drive(QString::fromLocal8Bit(argv[2]));
    // A mount namespace of its own, for the small file systems.
    test::enterPrivateNetwork();
    QApplication app(argc, argv);
    TestSettingsDurability test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_settingsdurability.moc"
