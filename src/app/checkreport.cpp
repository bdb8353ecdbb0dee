#include "checkreport.h"

namespace velmora {

void CheckReport::check(bool passed, const QString &name)
{
    if (!passed)
        ++m_failures;
    printLine((passed ? QStringLiteral("PASS  ") : QStringLiteral("FAIL  ")) + name);
}

bool CheckReport::finish()
{
    printLine(m_failures == 0 ? QStringLiteral("SELFTEST OK")
                              : QStringLiteral("SELFTEST FAILED (%1)").arg(m_failures));
    return m_failures == 0;
}

void CheckReport::printLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

} // namespace velmora
