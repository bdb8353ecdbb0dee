// The desktop widget's parts: its lookups and their timing, its stored placements, and its
// views as drawn.

#include "../ui/pixels.h"
#include "desktopsession.h"
#include "look.h"
#include "placements.h"
#include "testhelpers.h"
#include "widgethost.h"
#include "widgetview.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <QCoro/QCoroTimer>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Wakes when the test says.
struct Waking final : SleepWatcher
{
    void start() override {}
};

const GeoInfo cached(u"192.0.2.9"_s, u"Japan"_s, u"JP"_s, u"Osaka"_s, u"KDDI"_s, u"AS2516"_s,
                     u"Asia/Tokyo"_s, Timestamp::fromSecondsSinceReference(786000000.123456));
const QByteArray unreadable = "{\"ip\":\"192.0.2.9\"";
const QDateTime requestStart = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);

const Timestamp nineOFive =
    Timestamp::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(9, 5), Qt::LocalTime));

// A record in Berlin, dated 17:40; "Updated" shows the record's own time.
GeoEntry entry(const QString &ip, const QString &country, bool stale = false)
{
    const GeoInfo geo(ip, country, u"DE"_s, u"Berlin"_s, u"Deutsche Telekom AG"_s, {},
                      u"Europe/Berlin"_s, nineOFive);
    return {QDateTime(QDate(2026, 3, 4), QTime(17, 40)), geo, stale};
}

} // namespace

class TestWidget : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    int tests = 0;
    std::shared_ptr<DirectoryStore> store;
    QDateTime clock;
    int fetches = 0;

    // Each request takes 40 s of the clock, then answers with ip; an empty one fails.
    GeoProvider provider(const QString &ip)
    {
        const auto fetch = [this, ip](QUrl, const QObject *) -> QCoro::Task<FetchResult> {
            ++fetches;
            clock = clock.addSecs(40);
            co_await QCoro::sleepFor(std::chrono::milliseconds(0));
            if (ip.isEmpty())
                co_return std::unexpected(GeoError::transport(u"down"_s));
            co_return u"{\"success\":true,\"country_code\":\"FR\",\"ip\":\"%1\"}"_s.arg(ip)
                .toUtf8();
        };
        return GeoProvider({.fetch = fetch, .store = store, .now = [this] { return clock; }});
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        store = std::make_shared<DirectoryStore>(dir.filePath(QString::number(++tests)));
        clock = requestStart;
        fetches = 0;
    }

    // An unreadable cache shows nothing at once, without a lookup, and is left as it was. A
    // success, dated from the start of the request, never from the end of the lookup, replaces
    // it with exactly the record shown.
    void unreadableCacheThenASuccess()
    {
        QVERIFY(store->set(GeoProvider::cacheKey, unreadable).has_value());
        const GeoProvider geo = provider(u"198.51.100.7"_s);
        QCOMPARE(geo.snapshot(false).geo, std::nullopt);
        QCOMPARE(fetches, 0);
        QCOMPARE(store->data(GeoProvider::cacheKey), std::optional(unreadable));
        const auto timeline = test::awaitWithin(geo.timeline(), 5000);
        QVERIFY(timeline);
        const GeoEntry &entry = timeline->entry;
        QCOMPARE(entry.date, requestStart);
        QCOMPARE(timeline->reloadAfter, requestStart.addSecs(900));
        QVERIFY(!entry.isStale);
        QCOMPARE(entry.geo->ip, u"198.51.100.7"_s);
        QCOMPARE(store->data(GeoProvider::cacheKey),
                 QJsonDocument(entry.geo->toJson()).toJson(QJsonDocument::Compact));
    }

    // The host shows the cached record at once, dated now, then the timeline's entry: after a
    // failure the kept record, marked stale, due again in 5 minutes; the next timeline not before
    // its wall-clock date, and at once on a resume that finds the date past.
    void hostReloads()
    {
        QVERIFY(
            store->set(GeoProvider::cacheKey, QJsonDocument(cached.toJson()).toJson()).has_value());
        auto waking = std::make_unique<Waking>();
        Waking *sleep = waking.get();
        WidgetHost host(provider(QString()), {.wallClock = [&] { return clock; }},
                        std::move(waking));
        QList<GeoEntry> shown;
        connect(&host, &WidgetHost::entryChanged, this, [&] { shown.append(host.entry()); });
        host.start();
        QVERIFY(QTest::qWaitFor([&] { return shown.size() == 2; }, 5000));
        QCOMPARE(shown[0].geo, cached);
        QCOMPARE(shown[0].date, requestStart);
        QVERIFY(!shown[0].isStale);
        QVERIFY(shown[1].isStale);
        QCOMPARE(shown[1].geo, cached);

        const QDateTime due = requestStart.addSecs(300);
        clock = due.addSecs(-1);
        QTest::qWait(100);
        QCOMPARE(shown.size(), 2);
        clock = due.addSecs(8 * 3600); // a night's sleep
        Q_EMIT sleep->resumed();
        QVERIFY(QTest::qWaitFor([&] { return shown.size() == 3; }, 1000));
        QCOMPARE(host.nextReload(), due.addSecs(8 * 3600 + 300));
    }

    // A restored widget lies wholly inside the work area of its screen, or of the primary
    // screen once its own is gone.
    void restoredPositions()
    {
        const QRect right(1920, 0, 1280, 1024), primary(0, 32, 1920, 1048);
        const QSize size(170, 170);
        QCOMPARE(restoredPosition({3100, 1000}, size, right, primary), QPoint(3030, 854));
        QCOMPARE(restoredPosition({-50, -9}, size, std::nullopt, primary), QPoint(0, 32));
    }

    void placementsFromBadFiles_data()
    {
        QTest::addColumn<mode_t>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<int>("placed");
        const auto row = [](const char *name, mode_t type, const QByteArray &content,
                            const QString &warning, int placed) {
            QTest::newRow(name) << type << content << warning << placed;
        };
        const QByteArray widget = R"({"family":"medium","screen":"B","x":4,"y":5})";
        row("broken", S_IFREG, "[{\"family\":\"medium\"", u"cannot be read.*kept as"_s, 0);
        row("not a widget", S_IFREG, "[7, " + widget + ']', {}, 1);
        row("33 widgets", S_IFREG, '[' + QByteArrayList(33, widget).join(',') + ']',
            u"lists more than 32 widgets; only the first 32 are placed; kept as"_s, 32);
        row("FIFO", S_IFIFO, {}, u"not a regular file"_s, 0);
    }

    // A broken widget list loses nothing: it is moved aside whole, and entries that are not
    // widgets are passed over. Something other than a file is neither read nor moved.
    void placementsFromBadFiles()
    {
        QFETCH(mode_t, type);
        QFETCH(QByteArray, content);
        QFETCH(QString, warning);
        QFETCH(int, placed);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"widgets.json"_s);
        QVERIFY(type == S_IFREG ? test::writeFile(path, content) : test::makeOddFile(path, type));
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        const QList<WidgetPlacement> loaded = PlacementStore(path).load();
        QCOMPARE(loaded.size(), placed);
        const QStringList aside = QDir(folder.path()).entryList({u"widgets.json.corrupt-*"_s});
        QCOMPARE(aside.size(), warning.contains(u"kept as"_s) ? 1 : 0);
        if (!aside.isEmpty())
            QCOMPARE(test::readFile(folder.filePath(aside[0])), content);
        QCOMPARE(test::fileMode(path) & S_IFMT, aside.isEmpty() ? type : 0);
        // The cache reads its files alike.
        QCOMPARE(DirectoryStore(folder.path()).data(u"widgets.json"_s).has_value(),
                 aside.isEmpty() && type == S_IFREG);
    }

    void views_data()
    {
        QTest::addColumn<WidgetFamily>("family");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<GeoEntry>("shown");
        // Patterns, each matching a text of its own, in reading order: a value under another's
        // label fails.
        QTest::addColumn<QStringList>("texts");
        const auto small = WidgetFamily::small, medium = WidgetFamily::medium;
        const QString ip = u"203.0.113.42"_s, flag = u"🇩🇪"_s;
        QTest::newRow("medium-stale")
            << medium << false << entry(ip, u"Germany"_s, true)
            << (flag + u"|Germany|Berlin|Public IP|"_s + ip +
                u"|ISP|Deutsche Telekom AG|Timezone|Europe/Berlin|Updated 09:05"_s)
                   .split(u'|');
        QTest::newRow("small-stale-long-ipv6")
            << small << true
            << entry(u"2001:0db8:85a3:0000:0000:8a2e:0370:7334"_s, u"Germany"_s, true)
            << QStringList{flag, u"Germany"_s, u"2001:0db8.+….+7334"_s};
        const QString longCountry = u"United Kingdom of Great Britain and Northern Ireland"_s;
        QTest::newRow("medium-long-country-empty-fields")
            << medium << true
            << GeoEntry{{}, GeoInfo{.ip = ip, .country = longCountry, .countryCode = u"GB"_s}}
            << QStringList{u"United Kingdom.+…"_s, u"—"_s, ip, u"—"_s, u"—"_s};
        // Locating is laid out as this notice, and shown on the desktop in its own test.
        QTest::newRow("small-offline")
            << small << false << GeoEntry{{}, {}, true}
            << QStringList{u"⚠️"_s, u"Offline"_s, u"Retrying soon"_s};
    }

    // Every text whole or cut as it should be, inside the card's padding, none on another;
    // legible on the card, light or dark, over a desktop of the opposite brightness.
    void views()
    {
        QFETCH(WidgetFamily, family);
        QFETCH(bool, dark);
        QFETCH(GeoEntry, shown);
        QFETCH(QStringList, texts);
        const WidgetDrawing drawing = layoutWidget(shown, family);
        auto next = drawing.texts.cbegin();
        for (const QString &pattern : texts) {
            const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
            next = std::find_if(next, drawing.texts.cend(), [&](const WidgetText &text) {
                return expression.match(text.text).hasMatch();
            });
            QVERIFY2(next != drawing.texts.cend(), qPrintable(pattern));
            if (shown.geo && next->spoken == shown.geo->country) {
                // Never drawn under 70 %, and cut only at the smallest whole pixel size above.
                const int nominal = QFontInfo(textFont(TextStyle::body)).pixelSize();
                const int size = QFontInfo(next->font).pixelSize();
                QVERIFY2(size >= 0.7 * nominal, qPrintable(describe(size)));
                QVERIFY(next->text == next->spoken || size < 0.7 * nominal + 1);
            }
            ++next;
        }
        // The stale mark beside a stale record only.
        QCOMPARE(drawing.staleSymbol.has_value(), shown.isStale && shown.geo.has_value());

        const qreal pad = widgetPadding;
        const QRectF content = QRectF(QPointF(), widgetSize(family)).adjusted(pad, pad, -pad, -pad);
        QList<QRectF> areas, legible;
        for (const WidgetText &item : drawing.texts) {
            areas.append(
                {item.rect.topLeft(), QSizeF(QFontMetricsF(item.font).horizontalAdvance(item.text),
                                             item.rect.height())});
            QVERIFY2(content.contains(areas.last().adjusted(1, 1, -1, -1)), qPrintable(item.text));
            // Emoji keep colours of their own (a flag may be white, the globe pale blue): the
            // texts beside them say what they show.
            if (item.font.families() != flagFont(1).families())
                legible.append(areas.last());
        }
        if (drawing.staleSymbol) {
            areas.append(*drawing.staleSymbol);
            legible.append(*drawing.staleSymbol);
        }
        for (qsizetype i = 0; i < areas.size(); ++i)
            for (qsizetype j = i + 1; j < areas.size(); ++j)
                QVERIFY2(!areas[i].intersects(areas[j]), qPrintable(describe(areas[i])));

        GeoWidgetView view(family);
        view.setPalette(QPalette(dark ? Qt::black : Qt::white)); // the window colour too
        view.setEntry(shown);
        QImage image(view.size(), QImage::Format_RGB32);
        image.fill(dark ? Qt::white : Qt::black); // the desktop behind it
        view.render(&image);
        const QString name = u"widget-%1.png"_s.arg(QString::fromLatin1(QTest::currentDataTag()));
        pixels::saveArtifact(&view, name);
        const QRgb fill = image.pixel(int(widgetPadding / 2), image.height() / 2);
        for (const QRectF &area : legible) {
            const double contrast = pixels::bestContrast(image, area.toAlignedRect(), fill);
            QVERIFY2(contrast >= 4.5, qPrintable(name + describe(area) + describe(contrast)));
        }
    }

    // The record's time as the locale writes it, without AM/PM.
    void updated()
    {
        QCOMPARE(updatedText(nineOFive.toDateTime(), QLocale(u"en_US"_s)), u"Updated 09:05"_s);
        QCOMPARE(updatedText(nineOFive.toDateTime(), QLocale(u"fi_FI"_s)), u"Updated 09.05"_s);
    }
};

} // namespace velmora

QTEST_MAIN(velmora::TestWidget)
#include "tst_widget.moc"
