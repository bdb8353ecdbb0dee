#include "fuzzing.h"

#include "platform/loginitem_linux.h"

using namespace velmora;

// Any autostart entry reads as one of the statuses, and the Exec value this program writes for
// itself names it again (a file's path never holds NUL).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzzing::file(QStringLiteral("autostart/velmora.desktop"), data, size);
    const XdgAutostartLoginItem item(
        {.programPath = QStringLiteral("/bin/true"),
         .configHome = QFileInfo(path).absolutePath() + QStringLiteral("/..")});
    fuzzing::require(item.status() != LoginItem::Status::notFound);
    const QString program = QString::fromUtf8(fuzzing::bytes(data, size));
    fuzzing::require(
        program.isEmpty() || program.contains(QChar(0)) ||
        XdgAutostartLoginItem::programOfExec(XdgAutostartLoginItem::execValue(program)) == program);
    return 0;
}
