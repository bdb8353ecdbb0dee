#include "settingsview.h"

#include "appmodel.h"
#include "colorcode.h"
#include "colorwell.h"
#include "look.h"
#include "segmentedcontrol.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Button texts treat '&' as a shortcut marker; these texts mean the character itself.
QString literalText(const QString &text)
{
    QString escaped = text;
    return escaped.replace(u'&', u"&&"_s);
}

QFont captionFont(QFont font)
{
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    else
        font.setPixelSize(qMax(1, qRound(font.pixelSize() * 0.85)));
    return font;
}

QFormLayout *makeForm(QWidget *parent)
{
    auto *form = new QFormLayout(parent);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    // Some styles ask for no gap at all between a label and its field.
    form->setHorizontalSpacing(12);
    return form;
}

// An error line: caption size, in the orange that reads on the window in either theme.
QLabel *errorLabel(const QString &objectName)
{
    auto *label = new QLabel;
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setFont(captionFont(label->font()));
    setTint(label, Tint::orange);
    label->hide();
    return label;
}

} // namespace

SettingsView::SettingsView(AppModel &model, Preferences &prefs, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_prefs(prefs)
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeGeneralSection());
    layout->addWidget(makeMenuBarSection());
    m_writeError = errorLabel(u"writeError"_s);
    layout->addWidget(m_writeError);
    connect(&m_prefs, &Preferences::lastWriteErrorChanged, this, &SettingsView::showWriteError);
    alignFieldColumns();

    setFixedWidth(fixedWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    showLaunchAtLogin();
    showLaunchAtLoginError();
    showWriteError();
    updateEnabling();
    for (auto changed : {&Preferences::showLiveSpeedChanged, &Preferences::bandwidthDataChanged,
                         &Preferences::buttonStyleChanged, &Preferences::customColorsChanged})
        connect(&m_prefs, changed, this, &SettingsView::updateEnabling);
}

QSize SettingsView::sizeHint() const
{
    // A wrapped error text makes the height depend on the width, which is fixed.
    const int height =
        hasHeightForWidth() ? heightForWidth(fixedWidth) : QWidget::sizeHint().height();
    return {fixedWidth, height};
}

QWidget *SettingsView::makeGeneralSection()
{
    auto *section = new QGroupBox(tr("General"));
    QFormLayout *form = makeForm(section);

    m_launchAtLogin = new QCheckBox(tr("Launch at Login"));
    m_launchAtLogin->setObjectName(u"launchAtLogin"_s);
    connect(m_launchAtLogin, &QCheckBox::toggled, this, [this](bool on) {
        m_model.setLaunchAtLogin(on);
        // The model reports no change when the desktop refused; spring back regardless.
        showLaunchAtLogin();
    });
    connect(&m_model, &AppModel::launchAtLoginChanged, this, &SettingsView::showLaunchAtLogin);
    form->addRow(m_launchAtLogin);

    m_launchAtLoginError = errorLabel(u"launchAtLoginError"_s);
    connect(&m_model, &AppModel::launchAtLoginErrorChanged, this,
            &SettingsView::showLaunchAtLoginError);
    form->addRow(m_launchAtLoginError);

    form->addRow(addToggle(
        tr("Popup closes automatically when clicking outside"), u"popoverClosesAutomatically"_s,
        &Preferences::popoverClosesAutomatically, &Preferences::setPopoverClosesAutomatically,
        &Preferences::popoverClosesAutomaticallyChanged));
    form->addRow(addToggle(tr("Show a toast when the IP address changes"), u"showIPChangeToast"_s,
                           &Preferences::showIPChangeToast, &Preferences::setShowIPChangeToast,
                           &Preferences::showIPChangeToastChanged));
    form->addRow(tr("Theme"), makeChoice<Preferences::Theme>(true, u"theme"_s, &Preferences::theme,
                                                             &Preferences::setTheme,
                                                             &Preferences::themeChanged));
    m_forms.append(form);
    form->addRow(tr("Unit (Bits or Bytes)"),
                 makeChoice<Preferences::SpeedUnit>(false, u"unit"_s, &Preferences::speedUnit,
                                                    &Preferences::setSpeedUnit,
                                                    &Preferences::speedUnitChanged));
    return section;
}

QWidget *SettingsView::makeMenuBarSection()
{
    auto *section = new QGroupBox(tr("Menu Bar"));
    auto *column = new QVBoxLayout(section);
    column->addWidget(addToggle(tr("Show live upload & download speed"), u"showLiveSpeed"_s,
                                &Preferences::showLiveSpeed, &Preferences::setShowLiveSpeed,
                                &Preferences::showLiveSpeedChanged));

    // One container, so that switching live speeds off dims the labels with the controls.
    m_liveSpeedRows = new QWidget;
    QFormLayout *form = makeForm(m_liveSpeedRows);
    form->setContentsMargins(0, 0, 0, 0);
    m_forms.append(form);
    column->addWidget(m_liveSpeedRows);

    auto *bandwidth = new QComboBox;
    bandwidth->setObjectName(u"bandwidthData"_s);
    for (const auto data : Preferences::allCases<Preferences::BandwidthData>())
        bandwidth->addItem(Preferences::title(data), int(data));
    const auto showBandwidth = [this, bandwidth] {
        const QSignalBlocker blocker(bandwidth);
        bandwidth->setCurrentIndex(bandwidth->findData(int(m_prefs.bandwidthData())));
    };
    showBandwidth();
    connect(bandwidth, &QComboBox::currentIndexChanged, this, [this, bandwidth](int index) {
        if (index >= 0)
            m_prefs.setBandwidthData(
                Preferences::BandwidthData(bandwidth->itemData(index).toInt()));
    });
    connect(&m_prefs, &Preferences::bandwidthDataChanged, bandwidth, showBandwidth);
    connect(&m_prefs, &Preferences::writeFailed, bandwidth, showBandwidth);
    form->addRow(tr("Bandwidth Data"), bandwidth);

    form->addRow(tr("Button Style"),
                 makeChoice<Preferences::ButtonStyle>(false, u"style"_s, &Preferences::buttonStyle,
                                                      &Preferences::setButtonStyle,
                                                      &Preferences::buttonStyleChanged));
    m_uploadOnTop = addToggle(tr("Show upload on top"), u"uploadOnTop"_s, &Preferences::uploadOnTop,
                              &Preferences::setUploadOnTop, &Preferences::uploadOnTopChanged);
    form->addRow(m_uploadOnTop);
    form->addRow(addToggle(tr("Enable custom menu bar font color"), u"customColors"_s,
                           &Preferences::customColors, &Preferences::setCustomColors,
                           &Preferences::customColorsChanged));

    m_colorRow = new QWidget;
    auto *wells = new QHBoxLayout(m_colorRow);
    wells->setContentsMargins(0, 0, 0, 0);
    wells->addWidget(
        makeColorWell(tr("Download data color"), u"downloadColor"_s, &Preferences::downloadColorHex,
                      &Preferences::setDownloadColorHex, &Preferences::downloadColorHexChanged));
    wells->addStretch();
    wells->addWidget(makeColorWell(tr("Upload data color"), u"uploadColor"_s,
                                   &Preferences::uploadColorHex, &Preferences::setUploadColorHex,
                                   &Preferences::uploadColorHexChanged));
    // Span the whole row, not only the field column, so the upload well ends at the edge.
    form->addRow(m_colorRow);
    return section;
}

QCheckBox *SettingsView::addToggle(const QString &text, const QString &name,
                                   bool (Preferences::*get)() const, void (Preferences::*set)(bool),
                                   void (Preferences::*changed)())
{
    auto *toggle = new QCheckBox(literalText(text));
    toggle->setObjectName(name);
    toggle->setChecked(std::invoke(get, m_prefs));
    connect(toggle, &QCheckBox::toggled, this,
            [&prefs = m_prefs, set](bool on) { std::invoke(set, prefs, on); });
    const auto show = [&prefs = m_prefs, toggle, get] {
        const QSignalBlocker blocker(toggle);
        toggle->setChecked(std::invoke(get, prefs));
    };
    connect(&m_prefs, changed, toggle, show);
    // A value that could not be stored was undone: show the one that is.
    connect(&m_prefs, &Preferences::writeFailed, toggle, show);
    return toggle;
}

// Exclusive buttons side by side, one per case, named namePrefix + the case's first word
// (themeDark, unitBytes, styleDouble): a segmented control or horizontal radio buttons.
template<typename Enum>
QWidget *SettingsView::makeChoice(bool segmented, const QString &namePrefix,
                                  Enum (Preferences::*get)() const, void (Preferences::*set)(Enum),
                                  void (Preferences::*changed)())
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *segments = segmented ? new SegmentedControl : nullptr;
    QButtonGroup *group = segmented ? segments->group() : new QButtonGroup(row);
    group->setExclusive(true);
    if (segments)
        layout->addWidget(segments);

    for (const Enum value : Preferences::allCases<Enum>()) {
        const QString title = literalText(Preferences::title(value));
        QAbstractButton *button = nullptr;
        if (segments) {
            button = segments->addSegment(title, int(value));
        } else {
            button = new QRadioButton(title);
            group->addButton(button, int(value));
            layout->addWidget(button);
        }
        QString word = Preferences::rawValue(value);
        word.truncate(
            std::find_if(word.cbegin() + 1, word.cend(), [](QChar c) { return c.isUpper(); }) -
            word.cbegin());
        word[0] = word[0].toUpper();
        button->setObjectName(namePrefix + word);
    }
    layout->addStretch();

    const auto show = [&prefs = m_prefs, group, get] {
        const QSignalBlocker blocker(group);
        group->button(int(std::invoke(get, prefs)))->setChecked(true);
    };
    show();
    connect(group, &QButtonGroup::idToggled, this, [&prefs = m_prefs, set](int id, bool checked) {
        if (checked)
            std::invoke(set, prefs, Enum(id));
    });
    connect(&m_prefs, changed, group, show);
    connect(&m_prefs, &Preferences::writeFailed, group, show);
    return row;
}

ColorWell *SettingsView::makeColorWell(const QString &text, const QString &name,
                                       QString (Preferences::*get)() const,
                                       void (Preferences::*set)(const QString &),
                                       void (Preferences::*changed)())
{
    auto *well = new ColorWell(text);
    well->setObjectName(name);
    // Unlike the menu bar, which falls back to green and blue, an unreadable code shows white.
    const auto show = [&prefs = m_prefs, well, get] {
        well->setColor(colorFromHex(std::invoke(get, prefs)).value_or(QColor(Qt::white)));
    };
    show();
    connect(well, &ColorWell::colorChosen, this, [&prefs = m_prefs, set](const QColor &color) {
        std::invoke(set, prefs, hexString(color));
    });
    connect(&m_prefs, changed, well, show);
    connect(&m_prefs, &Preferences::writeFailed, well, show);
    return well;
}

void SettingsView::showLaunchAtLogin()
{
    const QSignalBlocker blocker(m_launchAtLogin);
    m_launchAtLogin->setChecked(m_model.launchAtLogin());
}

void SettingsView::showLaunchAtLoginError()
{
    const std::optional<QString> &error = m_model.launchAtLoginError();
    m_launchAtLoginError->setText(error.value_or(QString()));
    m_launchAtLoginError->setVisible(error.has_value());
    indentLaunchAtLoginError();
    fitHeight();
}

void SettingsView::indentLaunchAtLoginError()
{
    // Under the toggle's text, not under its box: it says why that switch sprang back.
    QStyleOptionButton option;
    option.initFrom(m_launchAtLogin);
    option.text = m_launchAtLogin->text();
    const QRect text =
        style()->subElementRect(QStyle::SE_CheckBoxContents, &option, m_launchAtLogin);
    m_launchAtLoginError->setContentsMargins(std::max(0, text.left()), 0, 0, 0);
}

void SettingsView::showWriteError()
{
    const QString reason = m_prefs.lastWriteError();
    m_writeError->setText(reason.isEmpty() ? QString()
                                           : tr("Settings could not be saved: %1").arg(reason));
    m_writeError->setVisible(!reason.isEmpty());
    fitHeight();
}

void SettingsView::fitHeight()
{
    // A window whose size was fixed to fit the view keeps fitting it as error lines come and
    // go. The layouts are brought up to date first so that sizeHint() sees them.
    if (isWindow() && maximumHeight() != QWIDGETSIZE_MAX) {
        m_launchAtLoginError->parentWidget()->layout()->activate();
        setFixedHeight(sizeHint().height());
    }
}

void SettingsView::alignFieldColumns()
{
    // The sections' fields start at one x: each label column as wide as the widest label.
    QList<QWidget *> labels;
    int widest = 0;
    for (QFormLayout *form : std::as_const(m_forms)) {
        for (int row = 0; row < form->rowCount(); ++row) {
            if (QLayoutItem *item = form->itemAt(row, QFormLayout::LabelRole)) {
                labels.append(item->widget());
                widest = std::max(widest, item->widget()->sizeHint().width());
            }
        }
    }
    for (QWidget *label : std::as_const(labels))
        label->setMinimumWidth(widest);
}

void SettingsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange) {
        indentLaunchAtLoginError();
        alignFieldColumns();
    }
}

void SettingsView::updateEnabling()
{
    m_liveSpeedRows->setEnabled(m_prefs.showLiveSpeed());
    m_uploadOnTop->setEnabled(m_prefs.bandwidthData() == Preferences::BandwidthData::both &&
                              m_prefs.buttonStyle() == Preferences::ButtonStyle::doubleLine);
    m_colorRow->setEnabled(m_prefs.customColors());
}

} // namespace velmora
