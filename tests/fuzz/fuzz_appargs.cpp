#include "fuzzing.h"

#include "applicationrequest.h"

#include <QStringList>
#include <QVariantMap>

using namespace velmora;

// Any call of the activation interface is granted, or refused with a short printable reason.
// The first byte picks the member and how many arguments, the second their types; the rest is
// their text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString members[] = {QStringLiteral("Activate"), QStringLiteral("Open"),
                                      QStringLiteral("ActivateAction"), QStringLiteral("Quit")};
    if (size < 2)
        return 0;
    const QString text = QString::fromUtf8(fuzzing::bytes(data + 2, size - 2));
    const QVariant kinds[] = {text, QStringList{text}, QVariantMap{{text, text}},
                              QVariantList{text}};
    QVariantList arguments;
    for (int i = 0; i < (data[0] >> 2 & 3); ++i)
        arguments.append(kinds[data[1] >> 2 * i & 3]);
    const auto request = applicationRequest(members[data[0] & 3], arguments);
    fuzzing::require(request ||
                     (request.error().size() < 120 &&
                      std::none_of(request.error().cbegin(), request.error().cend(),
                                   [](QChar c) { return c.category() == QChar::Other_Control; })));
    return 0;
}
