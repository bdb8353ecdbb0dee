#pragma once

#include "preferences.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;

namespace velmora {

class AppModel;
class ColorWell;

// The content of the settings window: the sections "General" and "Menu Bar", every control
// bound both ways to prefs (a change is stored at once; a change made elsewhere shows at
// once) and launch at login going through model. No state of its own, no buttons. A setting
// that could not be saved springs back, and a line at the bottom says why. It is 460 wide
// and as tall as its content; once someone fixes its size as a window, it keeps fitting
// that size to its content when an error line appears or goes.
// model and prefs must outlive the view.
class SettingsView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int fixedWidth = 460;

    SettingsView(AppModel &model, Preferences &prefs, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    QWidget *makeGeneralSection();
    QWidget *makeMenuBarSection();
    QCheckBox *addToggle(const QString &text, const QString &name, bool (Preferences::*get)() const,
                         void (Preferences::*set)(bool), void (Preferences::*changed)());
    template<typename Enum>
    QWidget *makeChoice(bool segmented, const QString &namePrefix, Enum (Preferences::*get)() const,
                        void (Preferences::*set)(Enum), void (Preferences::*changed)());
    ColorWell *makeColorWell(const QString &text, const QString &name,
                             QString (Preferences::*get)() const,
                             void (Preferences::*set)(const QString &),
                             void (Preferences::*changed)());

    void showLaunchAtLogin();
    void showLaunchAtLoginError();
    void indentLaunchAtLoginError();
    void showWriteError();
    void fitHeight();
    void alignFieldColumns();
    void updateEnabling();

    AppModel &m_model;
    Preferences &m_prefs;

    QCheckBox *m_launchAtLogin = nullptr;
    QLabel *m_launchAtLoginError = nullptr;
    QLabel *m_writeError = nullptr;
    QList<QFormLayout *> m_forms;
    QWidget *m_liveSpeedRows = nullptr;
    QCheckBox *m_uploadOnTop = nullptr;
    QWidget *m_colorRow = nullptr;
};

} // namespace velmora
