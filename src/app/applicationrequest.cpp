#include "applicationrequest.h"

#include <QStringList>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

constexpr qsizetype maxQuotedLength = 64;

// A name from another process goes to the log: escape what could steer a terminal and keep
// the line short.
QString quoted(const QString &name)
{
    QString text;
    for (const QChar c : name) {
        const bool unsafe = c.category() == QChar::Other_Control ||
                            c.category() == QChar::Other_Format || c == u'"' || c == u'\\';
        const QString shown =
            unsafe ? u"\\u%1"_s.arg(uint(c.unicode()), 4, 16, QLatin1Char('0')) : QString(c);
        if (text.size() + shown.size() > maxQuotedLength)
            return u'"' + text + u"\"…"_s;
        text += shown;
    }
    return u'"' + text + u'"';
}

// Whether arguments hold exactly the given types, in order.
bool hasTypes(const QVariantList &arguments, std::initializer_list<QMetaType::Type> types)
{
    if (arguments.size() != qsizetype(types.size()))
        return false;
    auto argument = arguments.cbegin();
    for (const QMetaType::Type type : types) {
        if (argument++->metaType().id() != type)
            return false;
    }
    return true;
}

} // namespace

std::expected<ApplicationRequest, QString> applicationRequest(const QString &member,
                                                              const QVariantList &arguments)
{
    if (member == "Activate"_L1 && hasTypes(arguments, {QMetaType::QVariantMap}))
        return ApplicationRequest::popover;
    if (member == "Open"_L1 &&
        hasTypes(arguments, {QMetaType::QStringList, QMetaType::QVariantMap}))
        return ApplicationRequest::popover;
    if (member == "ActivateAction"_L1 &&
        hasTypes(arguments,
                 {QMetaType::QString, QMetaType::QVariantList, QMetaType::QVariantMap})) {
        const QString name = arguments.front().toString();
        if (name == "popover"_L1)
            return ApplicationRequest::popover;
        if (name == "settings"_L1)
            return ApplicationRequest::settings;
        return std::unexpected(u"unknown action %1 ignored"_s.arg(quoted(name)));
    }
    return std::unexpected(
        u"call %1 with %2 arguments ignored"_s.arg(quoted(member)).arg(arguments.size()));
}

} // namespace velmora
