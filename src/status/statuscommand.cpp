#include "statuscommand.h"

#include "statusrecord.h"
#include "statusservice.h"
#include "statustext.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace velmora::StatusCommand {

namespace {

constexpr int callTimeoutMs = 5'000;
constexpr qint64 printIntervalMs = 1'000;

constexpr char usage[] = R"(Usage: velmora status [--follow] [--json | --waybar | --format TEMPLATE]
Prints the running Velmora's status as one line: the live rates, then the flag and the public
address once known, the rates in the unit Velmora's settings choose.

  --follow           print a new line on every change, at most once a second, until the
                     reader goes; while Velmora is not running, an empty one (with --json
                     "{}"), and wait for it to start
  --json             the whole status as one JSON object a line
  --waybar           the JSON a waybar custom module reads: text (the rates), tooltip (the
                     address, place, provider and network) and class (online, offline, vpn)
  --format TEMPLATE  a line of your own, with fields in braces ("{{" and "}}" for braces):
                     {down} {up}              the rates as the tray shows them
                     {down_bytes} {up_bytes}  the rates in bytes per second
                     {flag} {country} {country_code} {city} {ip} {isp}
                     {local_ip} {connection}  the local network
                     {vpn}                    "VPN" when a VPN is likely, else nothing
  --help             this text

The same status is on the session bus: the properties of app.velmora.Velmora.Status at
/app/velmora/Velmora on app.velmora.Velmora.

Exit status: 0 done; 2 a wrong option or template; 3 Velmora is not running.
)";

struct Options
{
    bool follow = false;
    std::function<QByteArray(const StatusRecord &)> line;
    // What --follow prints while Velmora is gone, so that a bar shows no stale rates.
    QByteArray gone;
};

// The options, or the message and exit status to end with.
std::expected<Options, std::pair<QString, int>> parse(const QStringList &arguments)
{
    Options options;
    int formats = 0;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == u"--help")
            return std::unexpected(std::pair{QString::fromUtf8(usage), 0});
        if (argument == u"--follow") {
            options.follow = true;
        } else if (argument == u"--json") {
            ++formats;
            options.line = [](const StatusRecord &record) {
                return QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
            };
            options.gone = "{}";
        } else if (argument == u"--waybar") {
            ++formats;
            options.line = &waybarLine;
            options.gone = R"({"class":"offline","text":"","tooltip":"Velmora is not running"})";
        } else if (argument == u"--format" || argument.startsWith(u"--format=")) {
            ++formats;
            const bool inline_ = argument.startsWith(u"--format=");
            if (!inline_ && i + 1 >= arguments.size())
                return std::unexpected(std::pair{u"--format needs a template"_s, 2});
            const QString text = inline_ ? argument.mid(9) : arguments[++i];
            auto parsed = StatusTemplate::parse(text);
            if (!parsed)
                return std::unexpected(std::pair{u"in the template: %1"_s.arg(parsed.error()), 2});
            options.line = [format = *parsed](const StatusRecord &record) {
                return format.format(record).toUtf8();
            };
        } else {
            return std::unexpected(std::pair{u"unknown option \"%1\""_s.arg(argument), 2});
        }
    }
    if (formats > 1)
        return std::unexpected(
            std::pair{u"--json, --waybar and --format each choose the output: give one"_s, 2});
    if (!options.line)
        options.line = [](const StatusRecord &record) { return statusLine(record).toUtf8(); };
    return options;
}

void complain(const QString &message)
{
    std::fprintf(stderr, "velmora status: %s\n", qPrintable(message));
}

// Writes line and a newline to standard output; false once the reader has gone.
bool writeLine(const QByteArray &line)
{
    const QByteArray bytes = line + '\n';
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(STDOUT_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

QDBusMessage getAll(const Address &address)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        address.service, address.objectPath, u"org.freedesktop.DBus.Properties"_s, u"GetAll"_s);
    call << StatusService::interfaceName();
    return call;
}

QString notRunning(const QDBusMessage &answer)
{
    const QString name = answer.errorName();
    if (name == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == u"org.freedesktop.DBus.Error.NameHasNoOwner")
        return u"Velmora is not running"_s;
    return u"Velmora did not answer: %1"_s.arg(answer.errorMessage());
}

// --follow: a line for the first status and for every change, until the instance goes.
class Follower : public QObject
{
    Q_OBJECT

public:
    Follower(Options options, Address address, QDBusConnection bus)
        : m_options(std::move(options))
        , m_address(std::move(address))
        , m_bus(std::move(bus))
        , m_watcher(m_address.service, m_bus, QDBusServiceWatcher::WatchForOwnerChange)
    {
        m_print.setSingleShot(true);
        m_print.callOnTimeout(this, &Follower::print);
        connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &, const QString &owner) {
                    if (!owner.isEmpty()) {
                        fetch();
                    } else if (m_seen) {
                        // Bars run the command once: it outlives the instance and waits for
                        // the next, rather than leave its last rates on the bar.
                        m_seen = false;
                        show();
                    }
                });
        m_bus.connect(m_address.service, m_address.objectPath, u"org.freedesktop.DBus.Properties"_s,
                      u"PropertiesChanged"_s, this,
                      SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        watchReader();
        if (m_bus.interface()->isServiceRegistered(m_address.service))
            fetch();
    }

private Q_SLOTS:
    void propertiesChanged(const QString &interface, const QVariantMap &changed,
                           const QStringList &)
    {
        if (interface != StatusService::interfaceName() || !m_seen)
            return;
        m_properties.insert(changed);
        show();
    }

private:
    void fetch()
    {
        // The rates are signalled only to those who ask, for as long as they are on the bus.
        m_bus.asyncCall(QDBusMessage::createMethodCall(m_address.service, m_address.objectPath,
                                                       StatusService::interfaceName(),
                                                       u"FollowRates"_s));
        QDBusPendingCallWatcher *pending =
            new QDBusPendingCallWatcher(m_bus.asyncCall(getAll(m_address), callTimeoutMs), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher *call) {
                    call->deleteLater();
                    const QDBusReply<QVariantMap> reply = *call;
                    if (!reply.isValid()) // gone again, or not yet serving: wait for news
                        return;
                    m_seen = true;
                    m_properties = reply.value();
                    show();
                });
    }

    void show()
    {
        if (m_print.isActive())
            return;
        const qint64 since = m_sincePrint.isValid() ? m_sincePrint.elapsed() : printIntervalMs;
        m_print.start(int(std::max<qint64>(0, printIntervalMs - since)));
    }

    void print()
    {
        const QByteArray line =
            m_seen ? m_options.line(StatusRecord::fromProperties(m_properties)) : m_options.gone;
        if (line == m_printed)
            return;
        if (!writeLine(line)) {
            QCoreApplication::exit(0);
            return;
        }
        m_printed = line;
        m_sincePrint.start();
    }

    // A reader that closes its end of a pipe is seen at once, not at the next line: the
    // write end then polls as an error, which wakes a read notifier.
    void watchReader()
    {
        struct stat out
        {};
        if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISFIFO(out.st_mode))
            return;
        auto *notifier = new QSocketNotifier(STDOUT_FILENO, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [notifier] {
            pollfd out{STDOUT_FILENO, POLLOUT, 0};
            if (::poll(&out, 1, 0) >= 0 && (out.revents & (POLLERR | POLLHUP)))
                QCoreApplication::exit(0);
            else
                notifier->setEnabled(false); // not a sign of the reader: stop listening
        });
    }

    Options m_options;
    Address m_address;
    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcher;
    QVariantMap m_properties;
    bool m_seen = false;
    QTimer m_print;
    QElapsedTimer m_sincePrint;
    QByteArray m_printed;
};

} // namespace

bool isAsked(int argc, const char *const *argv)
{
    return argc > 1 && std::strcmp(argv[1], "status") == 0;
}

int main(int argc, char **argv, const Address &address)
{
    QCoreApplication app(argc, argv);
    // A reader that goes is seen as a failed write.
    std::signal(SIGPIPE, SIG_IGN);
    const auto options = parse(QCoreApplication::arguments().mid(2));
    if (!options) {
        const auto &[message, status] = options.error();
        if (status == 0)
            std::fputs(qPrintable(message), stdout);
        else
            complain(message + u" (see velmora status --help)"_s);
        return status;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        complain(u"no session bus to find Velmora on: %1"_s.arg(bus.lastError().message()));
        return 3;
    }
    if (!options->follow) {
        const QDBusMessage answer = bus.call(getAll(address), QDBus::Block, callTimeoutMs);
        if (answer.type() != QDBusMessage::ReplyMessage) {
            complain(notRunning(answer));
            return 3;
        }
        const QDBusReply<QVariantMap> reply(answer);
        return writeLine(options->line(StatusRecord::fromProperties(reply.value()))) ? 0 : 1;
    }
    Follower follower(*options, address, bus);
    return app.exec();
}

} // namespace velmora::StatusCommand

#include "statuscommand.moc"
