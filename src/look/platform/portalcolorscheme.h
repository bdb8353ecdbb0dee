#pragma once

#include <QDBusVariant>
#include <QObject>
#include <QVariant>

namespace velmora {

// What the desktop's settings portal says of light and dark: the freedesktop colour-scheme
// setting, followed as it changes and as the portal comes and goes.
class PortalColorScheme : public QObject
{
    Q_OBJECT

public:
    enum class Preference { None, Dark, Light };

    explicit PortalColorScheme(QObject *parent = nullptr);

    // None until the portal answers, and where there is no portal or it has no preference.
    Preference preference() const { return m_preference; }

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void settingChanged(const QString &nameSpace, const QString &key, const QDBusVariant &value);

private:
    void read();
    void set(Preference preference);

    Preference m_preference = Preference::None;
    quint64 m_reads = 0;
};

// Some services wrap a variant in more variants than their signatures say: the value inside.
QVariant unwrapDBusVariant(QVariant value);

} // namespace velmora
