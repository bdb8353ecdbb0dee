#pragma once

#include <QString>

#include <cstdio>

namespace velmora {

// Prints one line per check and the verdict, counting the failures.
class CheckReport
{
public:
    explicit CheckReport(std::FILE *out)
        : m_out(out)
    {}

    // "PASS  name" or "FAIL  name".
    void check(bool passed, const QString &name);
    // "SELFTEST OK" or "SELFTEST FAILED (n)"; true when nothing failed.
    bool finish();

    int failures() const { return m_failures; }

private:
    void printLine(const QString &line);

    std::FILE *m_out;
    int m_failures = 0;
};

} // namespace velmora
