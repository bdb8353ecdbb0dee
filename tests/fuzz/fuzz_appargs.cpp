#include "fuzzing.h"

#include "applicationrequest.h"

#include <QStringList>
#include <QVariantMap>

using namespace velmora;

namespace {

// A value of a type the bus can carry: one byte chooses the type and the length of the text
// that follows and fills it.
QVariant nextArgument(QByteArrayView &input)
{
    const uchar kind = uchar(input.front());
    input = input.sliced(1);
    const qsizetype length = std::min<qsizetype>(input.size(), kind >> 3);
    const QString text = QString::fromUtf8(input.first(length));
    input = input.sliced(length);
    switch (kind & 7) {
    case 0:
        return text;
    case 1:
        return QStringList{text};
    case 2:
        return QVariantMap{{text, text}};
    case 3:
        return QVariantList{text};
    case 4:
        return int(length);
    default:
        return QVariant();
    }
}

} // namespace

// Any call of the activation interface is granted or refused with a short, printable reason.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArrayView input(data, qsizetype(size));
    static const QString members[] = {QStringLiteral("Activate"), QStringLiteral("Open"),
                                      QStringLiteral("ActivateAction"), QStringLiteral("Quit")};
    if (input.isEmpty())
        return 0;
    const QString member = members[input.front() & 3];
    input = input.sliced(1);
    QVariantList arguments;
    while (!input.isEmpty() && arguments.size() < 4)
        arguments.append(nextArgument(input));
    const auto request = applicationRequest(member, arguments);
    if (!request) {
        fuzzing::require(request.error().size() < 120);
        fuzzing::require(
            std::none_of(request.error().cbegin(), request.error().cend(),
                         [](QChar c) { return c.category() == QChar::Other_Control; }));
    }
    return 0;
}
