#pragma once

#include "platform/interfacetable.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <vector>

namespace velmora {

// What one datagram of a dump told.
enum class LinkDumpPart {
    more,   // the dump goes on in the next datagram
    done,   // the dump's end
    failed, // the kernel answered with an error, or the datagram cannot be walked
};

// What the answers to one dump have told so far.
struct LinkDump
{
    InterfaceCounters counters;
    // Link names by index: filled from a link dump's answers, read for a statistics dump's.
    QHash<int, QString> *names = nullptr;
    // A link came, went or changed, or counted under an index without a known name: the
    // names need reading again.
    bool namesStale = false;
};

// Reads datagram, part of the answer to the dump numbered sequence: a link dump
// (RTM_GETLINK) gives names and counts, a statistics dump (RTM_GETSTATS) counts by index.
// Counts are 64-bit where the kernel has them, else 32-bit. A link without a name or
// statistics, or cut short, is left out; link notifications in between mark the names stale.
LinkDumpPart readLinkDump(QByteArrayView datagram, quint32 sequence, LinkDump &dump);

// The kernel's link counters over one rtnetlink socket kept open between reads, with its
// buffer kept too. A read asks for the 64-bit statistics alone, named from the link list
// read before; the list is read again only when the kernel says a link came, went or changed
// (the socket listens for that), or counts come for an unknown index.
class LinkStatistics
{
public:
    LinkStatistics() = default;
    ~LinkStatistics();
    LinkStatistics(const LinkStatistics &) = delete;
    LinkStatistics &operator=(const LinkStatistics &) = delete;

    // The counters of every link; empty when the kernel cannot be asked or breaks off.
    InterfaceCounters read();

private:
    bool open();
    void close();
    // Sends the dump request of type and reads its answers into dump.
    bool ask(quint16 type, LinkDump &dump);

    int m_socket = -1;
    quint32 m_sequence = 0;
    std::vector<char> m_buffer;
    QHash<int, QString> m_names;
    bool m_namesKnown = false;
};

} // namespace velmora
