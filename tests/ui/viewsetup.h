#pragma once

// What the view tests stand a view (or the status bar controller) on: a model on scripted
// pieces and real preferences in a settings file of their own. Set up rig and prefs, then
// start().

#include "../model/fakeservices.h"
#include "fusionappearance.h"
#include "popover/row.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace velmora::fakes {

// The application in a theme until the end of the scope.
struct ThemedApplication
{
    explicit ThemedApplication(Preferences::Theme theme) { appearance.apply(theme); }
    ~ThemedApplication() { appearance.apply(Preferences::Theme::system); }
    FusionAppearance appearance;
};

template<typename View> struct ViewSetup
{
    Rig rig;
    QTemporaryDir dir;
    // Inside a folder of its own, for a test to put a small file system there.
    const QString folder = dir.filePath(QStringLiteral("config"));
    SettingsStore store{folder + QStringLiteral("/settings.json")};
    Preferences prefs{store};
    std::unique_ptr<AppModel> model;
    std::unique_ptr<View> view;

    // A lookup left suspended when the test ends would never finish, and its frame would leak.
    ~ViewSetup()
    {
        if (model)
            std::ignore = waitUntilIdle(*model);
    }

    template<typename... Args> void start(AppModel::Services services, Args &&...args)
    {
        model = std::make_unique<AppModel>(std::move(services));
        view = std::make_unique<View>(*model, prefs, std::forward<Args>(args)...);
        if constexpr (std::is_base_of_v<QWidget, View>) {
            view->show();
            QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        }
    }

    template<typename T = QWidget> T &get(const QString &name) const
    {
        T *found = view->template findChild<T *>(name);
        if (!found)
            qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return *found;
    }
    // The whole texts of labels, however they are wrapped on screen, joined with '|'.
    QString texts(const QStringList &names) const
    {
        QStringList all;
        for (const QString &name : names) {
            const auto *wrapping = qobject_cast<const WrappingLabel *>(&get(name));
            all << (wrapping ? wrapping->fullText() : get<QLabel>(name).text());
        }
        return all.join(u'|');
    }
    void click(const QString &name) const { QTest::mouseClick(&get(name), Qt::LeftButton); }
};

} // namespace velmora::fakes
