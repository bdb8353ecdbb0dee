// CPU cost of one traffic sample as the model takes it once a second: the interface table's
// counters, filtered to the counted interfaces, and the delta against the previous sample.
// The reference takes the same sample from /proc/net/dev (read, parse, same filter and
// delta) in the same run, alternating with ours so that both see the same conditions.

#include "interfacerules.h"
#include "platform/interfacetable_linux.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

using namespace velmora;

namespace {

constexpr int runs = 20;
constexpr int samplesPerRun = 1000;
// One sample a second: the model's rate.
constexpr double samplesPerSecond = 1;

double threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// /proc/net/dev: two header lines, then "name: rx_bytes packets ... tx_bytes ...", with the
// sent bytes in the ninth number.
InterfaceCounters procNetDevCounters()
{
    InterfaceCounters counters;
    const int fd = open("/proc/net/dev", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return counters;
    char buffer[16 * 1024];
    size_t size = 0;
    for (ssize_t got;
         size < sizeof buffer && (got = read(fd, buffer + size, sizeof buffer - size)) > 0;)
        size += size_t(got);
    close(fd);

    std::string_view text(buffer, size);
    for (int header = 0; header < 2 && !text.empty(); ++header)
        text.remove_prefix(std::min(text.size(), text.find('\n') + 1));
    while (!text.empty()) {
        const size_t end = std::min(text.size(), text.find('\n'));
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(text.size(), end + 1));
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = trimmed(line.substr(0, colon));
        line.remove_prefix(colon + 1);
        unsigned long long fields[9] = {};
        const char *cursor = line.data();
        const char *const last = line.data() + line.size();
        int parsed = 0;
        for (; parsed < 9; ++parsed) {
            while (cursor < last && *cursor == ' ')
                ++cursor;
            const auto [next, error] = std::from_chars(cursor, last, fields[parsed]);
            if (error != std::errc())
                break;
            cursor = next;
        }
        if (parsed == 9)
            counters.insert(QString::fromLatin1(name.data(), qsizetype(name.size())),
                            CounterPair{quint32(fields[0]), quint32(fields[8])});
    }
    return counters;
}

struct Figures
{
    double median = 0;
    double lowest = 0;
    double highest = 0;
};

double medianOf(std::vector<double> values)
{
    std::ranges::sort(values);
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The per-sample thread CPU time of one run, as its median.
double runMedian(const std::function<InterfaceCounters()> &read, InterfaceCounters &previous,
                 quint64 &sink)
{
    std::vector<double> costs;
    costs.reserve(samplesPerRun);
    for (int i = 0; i < samplesPerRun; ++i) {
        const double start = threadCpuNanoseconds();
        InterfaceCounters current = trafficCounters(read());
        const TrafficDelta delta = trafficDelta(previous, current);
        previous = std::move(current);
        costs.push_back(threadCpuNanoseconds() - start);
        sink += delta.received + delta.sent;
    }
    return medianOf(std::move(costs));
}

Figures summary(const std::vector<double> &runMedians)
{
    return {medianOf(runMedians), *std::ranges::min_element(runMedians),
            *std::ranges::max_element(runMedians)};
}

} // namespace

int main()
{
    const GetifaddrsInterfaceTable table;
    const auto ours = [&table] { return table.counters(); };
    const auto reference = [] { return procNetDevCounters(); };

    InterfaceCounters oursPrevious = trafficCounters(ours());
    InterfaceCounters referencePrevious = trafficCounters(reference());
    quint64 sink = 0;
    std::vector<double> oursMedians;
    std::vector<double> referenceMedians;
    for (int run = 0; run < runs; ++run) {
        oursMedians.push_back(runMedian(ours, oursPrevious, sink));
        referenceMedians.push_back(runMedian(reference, referencePrevious, sink));
    }
    const Figures oursFigures = summary(oursMedians);
    const Figures referenceFigures = summary(referenceMedians);
    const double ratio = oursFigures.median / referenceFigures.median;
    const double coreShare = oursFigures.median * 1e-9 * samplesPerSecond * 100;

    std::printf("Traffic sample, thread CPU time per sample: median of %d run medians "
                "(%d samples each)\n\n",
                runs, samplesPerRun);
    std::printf("%-34s %10s %22s\n", "source", "median", "run medians min-max");
    std::printf("%-34s %8.2f us %10.2f - %6.2f us\n", "rtnetlink statistics (velmora)",
                oursFigures.median / 1000, oursFigures.lowest / 1000, oursFigures.highest / 1000);
    std::printf("%-34s %8.2f us %10.2f - %6.2f us\n", "/proc/net/dev (reference)",
                referenceFigures.median / 1000, referenceFigures.lowest / 1000,
                referenceFigures.highest / 1000);
    std::printf("\n%-34s %8.2f x   target <= 1 x    %s\n", "velmora / reference", ratio,
                ratio <= 1 ? "met" : "MISSED");
    std::printf("%-34s %8.4f %%   target < 0.05 %%  %s\n", "one core at one sample a second",
                coreShare, coreShare < 0.05 ? "met" : "MISSED");
    std::printf("%-34s %8lld\n", "counted interfaces",
                static_cast<long long>(trafficCounters(ours()).size()));
    // Keeps the work from being optimised away.
    std::fprintf(stderr, "%s", sink == 1 ? " " : "");
    return 0;
}
