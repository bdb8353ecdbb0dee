#include "fuzzing.h"

#include "preferences.h"
#include "settingsstore.h"

#include <QJsonDocument>

using namespace velmora;

// Any settings file loads into usable preferences, and a change keeps every other key it held.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzzing::file(QStringLiteral("settings.json"), data, size);
    SettingsStore store(path);
    const Preferences prefs(store);
    fuzzing::require(prefs.downloadColor().isValid() && prefs.uploadColor().isValid());
    const QJsonDocument document = QJsonDocument::fromJson(fuzzing::bytes(data, size));
    QJsonObject expected = document.object();
    expected.insert(QStringLiteral("theme"), QStringLiteral("dark"));
    QFile written(path);
    fuzzing::require(store.setValue(QStringLiteral("theme"), QStringLiteral("dark")).has_value() &&
                     written.open(QIODevice::ReadOnly) &&
                     QJsonDocument::fromJson(written.readAll()).object() == expected);
    // An unusable file was kept aside under a name of its own; the next run needs that name.
    QDir directory = QFileInfo(path).dir();
    for (const QString &aside :
         document.isObject() ? QStringList() : directory.entryList(QDir::Files))
        if (aside != QFileInfo(path).fileName())
            directory.remove(aside);
    return 0;
}
