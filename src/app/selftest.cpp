#include "selftest.h"

#include "checkreport.h"
#include "colorcode.h"
#include "flag.h"
#include "geoclient.h"
#include "preferences.h"
#include "throughput.h"

#include <QCoro/QCoroTask>

#include <cmath>

namespace velmora::SelfTest {

namespace {

using namespace Qt::StringLiterals;

const QByteArray ipwhoisSample =
    R"({"ip":"203.0.113.42","success":true,"type":"IPv4","continent":"Europe","country":"Germany",)"
    R"("country_code":"DE","region":"Berlin","city":"Berlin","connection":{"asn":3320,)"
    R"("org":"Deutsche Telekom AG","isp":"Deutsche Telekom AG","domain":"example.net"},)"
    R"("timezone":{"id":"Europe/Berlin","abbr":"CET","utc":"+01:00"}})"_ba;

const QByteArray ipapiSample =
    R"({"ip":"198.51.100.7","city":"Istanbul","region":"Istanbul","country":"TR",)"
    R"("country_name":"Turkey","country_code":"TR","timezone":"Europe/Istanbul","asn":"AS9121",)"
    R"("org":"Turk Telekom"})"_ba;

const QByteArray refusedSample = R"({"success":false,"message":"Reserved range"})"_ba;

QString indicators(char32_t first, char32_t second)
{
    const char32_t pair[] = {first, second};
    return QString::fromUcs4(pair, 2);
}

bool hasFields(const GeoResult &result, const QStringList &expected)
{
    if (!result)
        return false;
    const QStringList actual{result->ip,  result->countryCode, result->country, result->city,
                             result->isp, result->asn,         result->timezone};
    return actual == expected;
}

bool near(double value, double target)
{
    return std::abs(value - target) < 0.0001;
}

QCoro::Task<FetchResult> primaryTimesOut(QUrl url, const QObject *)
{
    if (url == GeoClient::primaryURL())
        co_return std::unexpected(GeoError::transport(u"Operation timed out"_s));
    co_return ipapiSample;
}

QCoro::Task<FetchResult> offline(QUrl, const QObject *)
{
    co_return std::unexpected(GeoError::transport(u"Network unreachable"_s));
}

struct FallbackOutcome
{
    std::optional<GeoInfo> fallbackRecord;
    bool allFailed = false;
};

QCoro::Task<FallbackOutcome> runLookups()
{
    FallbackOutcome outcome;
    const GeoResult fallback = co_await GeoClient(&primaryTimesOut).lookup();
    if (fallback)
        outcome.fallbackRecord = *fallback;
    const GeoResult none = co_await GeoClient(&offline).lookup();
    outcome.allFailed = !none;
    co_return outcome;
}

} // namespace

bool run(std::FILE *out)
{
    CheckReport report(out);
    const QString primary = GeoClient::primaryLabel();
    const QString fallback = GeoClient::fallbackLabel();
    using Unit = Preferences::SpeedUnit;

    report.check(Flag::emoji(u"US"_s) == indicators(0x1F1FA, 0x1F1F8), u"flag US"_s);
    report.check(Flag::emoji(u"DE"_s) == indicators(0x1F1E9, 0x1F1EA), u"flag DE"_s);
    report.check(Flag::emoji(u"IR"_s) == indicators(0x1F1EE, 0x1F1F7), u"flag IR"_s);
    report.check(Flag::emoji(u"tr"_s) == indicators(0x1F1F9, 0x1F1F7), u"flag TR (lowercase)"_s);
    report.check(Flag::emoji(u"X1"_s) == Flag::loading(), u"flag invalid code"_s);

    report.check(hasFields(GeoClient::parseIpwhois(ipwhoisSample),
                           {u"203.0.113.42"_s, u"DE"_s, u"Germany"_s, u"Berlin"_s,
                            u"Deutsche Telekom AG"_s, u"AS3320"_s, u"Europe/Berlin"_s}),
                 u"parse "_s + primary);
    report.check(!GeoClient::parseIpwhois(refusedSample), primary + u" success=false rejected"_s);
    report.check(hasFields(GeoClient::parseIpapi(ipapiSample),
                           {u"198.51.100.7"_s, u"TR"_s, u"Turkey"_s, u"Istanbul"_s,
                            u"Turk Telekom"_s, u"AS9121"_s, u"Europe/Istanbul"_s}),
                 u"parse "_s + fallback);

    report.check(near(Throughput::mbps(25'000'000, 2.0), 100), u"Mbps 25MB/2s = 100"_s);
    report.check(near(Throughput::mbps(1'250'000, 1.0), 10), u"Mbps 1.25MB/1s = 10"_s);
    report.check(Throughput::mbps(100, 0) == 0, u"Mbps zero duration"_s);

    report.check(Preferences::formatRate(1'250'000, Unit::bits) == u"10.0 Mb/s"_s,
                 u"rate 1.25MB/s = 10.0 Mb/s"_s);
    report.check(Preferences::formatRate(1'260'000, Unit::bytes) == u"1.3 MB/s"_s,
                 u"rate 1.26MB/s = 1.3 MB/s"_s);
    report.check(Preferences::formatRate(512, Unit::bytes) == u"512 B/s"_s, u"rate 512 B/s"_s);
    report.check(Preferences::formatRate(250'000'000, Unit::bits) == u"2.0 Gb/s"_s,
                 u"rate 2 Gb/s"_s);

    const std::optional<QColor> green = colorFromHex(u"#34C759");
    report.check(green && hexString(*green) == u"#34C759"_s, u"color hex round trip"_s);

    const FallbackOutcome outcome = QCoro::waitFor(runLookups());
    report.check(outcome.fallbackRecord && outcome.fallbackRecord->countryCode == u"TR"_s,
                 u"fallback to "_s + fallback + u" when primary fails"_s);
    report.check(outcome.allFailed, u"error when all providers fail"_s);

    return report.finish();
}

} // namespace velmora::SelfTest
