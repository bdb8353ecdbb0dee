#pragma once

#include "platform/pathmonitor.h"

#include <QByteArrayList>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

struct nl_sock;

namespace velmora {

// The network path from the kernel's routing tables (rtnetlink). Link, address, route and
// rule notifications only trigger a fresh read of the whole state after a settling delay, so
// a burst of changes costs one read and one report, and nothing depends on each notification
// arriving: the kernel drops routes silently when a link goes down, and notifications are
// lost when the socket's buffer overflows.
//
// A read reports only when the state differs from the last one read: the kernel also announces
// renewed lifetimes and routes that are deleted and added again within a burst, and those
// change nothing.
//
// Runs on the owning thread's event loop; a read costs four small netlink dumps.
class NetlinkPathMonitor final : public PathMonitor
{
    Q_OBJECT

public:
    enum class InterfaceKind { wifi, cellular, wiredEthernet, other };

    struct Options
    {
        // From the first notification of a burst to the read it triggers.
        std::chrono::milliseconds settleDelay{200};
        // Where the interfaces' sysfs directories are.
        QString sysfsNetRoot = QStringLiteral("/sys/class/net");
        // The notification socket's receive buffer in bytes; 0 keeps the system's default.
        int receiveBufferBytes = 0;
    };

    explicit NetlinkPathMonitor(QObject *parent = nullptr);
    explicit NetlinkPathMonitor(Options options, QObject *parent = nullptr);
    ~NetlinkPathMonitor() override;

    void start() override;

    struct State
    {
        NetworkPath path;
        // What the kernel holds that can change where traffic goes, one line a fact.
        QByteArrayList facts;

        friend bool operator==(const State &, const State &) = default;
    };

    // The current state, read afresh; nothing when the kernel could not be asked.
    static std::optional<State> readState(const QString &sysfsNetRoot);

    // The current path, read afresh; nothing when the kernel could not be asked. Satisfied
    // when a unicast default route (IPv4 or IPv6) of the main table, not flagged linkdown
    // or dead, leaves through an interface that is up and running. The interfaces are those
    // of the unicast routes of prefix length 0 or 1 in the main table and in every table a
    // policy rule selects.
    static std::optional<NetworkPath> readPath(const QString &sysfsNetRoot);

    // From the interface's sysfs directory: Wi-Fi when it has "wireless" or "phy80211",
    // cellular when its uevent says DEVTYPE=wwan, wired Ethernet when its type is 1
    // (ARPHRD_ETHER) and it is neither, otherwise other.
    static InterfaceKind interfaceKind(const QString &sysfsNetRoot, const QString &name);

private:
    bool openNotifications();
    void closeNotifications();
    void drainNotifications();
    void scheduleRead();
    void readAndReport();

    struct FreeSocket
    {
        void operator()(nl_sock *socket) const;
    };

    Options m_options;
    bool m_started = false;
    std::unique_ptr<nl_sock, FreeSocket> m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_settle;
    // Reopens the notification socket after it failed, reading the state on each attempt.
    QTimer m_reopen;
    std::optional<State> m_lastRead;
};

} // namespace velmora
