#include "views/tsusersview.h"
#include "ui_tsusersview.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsprofileeditordialog.h"
#include "dialogs/tsusersdialog.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "user/tsusersettings.h"
#include "views/fancylabel.h"
#include "views/viewresources.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

void selectByName(QComboBox *comboBox, const QString &name)
{
    comboBox->setCurrentIndex(name.isEmpty() ? -1 : comboBox->findData(name));
}

// A button that opened a modal dialog keeps its hover look until the mouse moves again.
void dropHover(QWidget *button)
{
    QCoreApplication::postEvent(button, new QEvent(QEvent::Leave));
}

} // namespace

TsUsersView::TsUsersView(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::TsUsersView)
{
    initViewResources();
    ui->setupUi(this);
    m_title = new FancyLabel(this);
    m_title->setFixedHeight(20);
    ui->verticalLayout->insertWidget(0, m_title, 0, Qt::AlignTop);
    ui->toolButtonUsers->setIcon(QIcon(QStringLiteral(":/icons/system-settings-17px.png")));
    ui->toolButtonProfiles->setIcon(QIcon(QStringLiteral(":/icons/profile-edit-17px.png")));

    TsCore *core = TsCore::instance();
    connect(core, &TsCore::availableUsersChanged, this, &TsUsersView::reloadUsers);
    connect(core, &TsCore::availableProfilesChanged, this, &TsUsersView::reloadProfiles);
    connect(core, &TsCore::currentUserChanged, this, &TsUsersView::followCurrentUser);
    connect(core, &TsCore::currentProfileChanged, this, &TsUsersView::followCurrentProfile);
    connect(ui->comboBoxUsers, QOverload<int>::of(&QComboBox::activated), this,
            &TsUsersView::userActivated);
    connect(ui->comboBoxProfiles, QOverload<int>::of(&QComboBox::activated), this,
            &TsUsersView::profileActivated);
    connect(ui->toolButtonUsers, &QToolButton::clicked, this, &TsUsersView::editUsers);
    connect(ui->toolButtonProfiles, &QToolButton::clicked, this, &TsUsersView::editProfiles);

    reloadUsers();
    followCurrentUser(TsCore::currentUser());
    reloadProfiles();
    followCurrentProfile(TsCore::currentProfile());

    TsExperimentManager *experiments = TsCore::experimentManager();
    connect(experiments, &TsExperimentManager::currentExperimentChanged, this,
            &TsUsersView::onNewExperiment);
    onNewExperiment(experiments->currentExperiment());
}

TsUsersView::~TsUsersView() = default;

void TsUsersView::updateActive()
{
    const TsExperiment *experiment = TsCore::experimentManager()->currentExperiment();
    const bool active =
        !experiment || (!experiment->recorder()->isRunning() && !experiment->script()->isRunning());
    for (QWidget *widget :
         {static_cast<QWidget *>(ui->comboBoxUsers), static_cast<QWidget *>(ui->toolButtonUsers),
          static_cast<QWidget *>(ui->comboBoxProfiles),
          static_cast<QWidget *>(ui->toolButtonProfiles)})
        widget->setEnabled(active);
}

void TsUsersView::reloadUsers()
{
    const QString selected = ui->comboBoxUsers->currentData().toString();
    ui->comboBoxUsers->clear();
    const QStringList names = TsCore::users();
    for (const QString &name : names)
        ui->comboBoxUsers->addItem(name, name);
    selectByName(ui->comboBoxUsers, selected);
}

void TsUsersView::reloadProfiles()
{
    ui->comboBoxProfiles->clear();
    const QStringList names = TsCore::profiles();
    for (const QString &name : names)
        ui->comboBoxProfiles->addItem(name, name);
    ui->comboBoxProfiles->setCurrentIndex(-1);
}

void TsUsersView::followCurrentUser(const QString &name)
{
    // The user restored at start or chosen in the users dialog must show here as well.
    selectByName(ui->comboBoxUsers, name);
}

void TsUsersView::followCurrentProfile(const QString &name)
{
    selectByName(ui->comboBoxProfiles, name);
}

void TsUsersView::userActivated(int index)
{
    const QString name = ui->comboBoxUsers->itemData(index).toString();
    qDebug("TsUsersView:user:activated %s", qPrintable(name));
    switchUser(name);
}

void TsUsersView::switchUser(const QString &name)
{
    const QString leaving = TsCore::currentUser();
    if (name == leaving) {
        TsCore::setCurrentUser(name);
        return;
    }
    if (!leaving.isEmpty())
        m_lastProfiles.insert(leaving, TsCore::currentProfile());
    TsCore::setCurrentUser(name);
    const QString profile = m_lastProfiles.value(name);
    if (TsCore::currentUser() == name && TsCore::currentProfile().isEmpty() &&
        TsCore::profiles().contains(profile))
        chooseProfile(profile);
}

void TsUsersView::profileActivated(int index)
{
    chooseProfile(ui->comboBoxProfiles->itemData(index).toString());
}

void TsUsersView::chooseProfile(const QString &name)
{
    const int flags = TsCore::configManager()->userSettings().flags();
    TsCore::setApplyValues(flags & TsUserSettings::ApplyValuesOnProfileChange);
    TsCore::setCurrentProfile(name);
    // Other announcements of the profile (a reload of the list) decide for themselves.
    TsCore::setApplyValues(true);
}

void TsUsersView::editUsers()
{
    TsUsersDialog dialog(this);
    dialog.setSelectedUser(TsCore::currentUser());
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedUser().isEmpty())
        switchUser(dialog.selectedUser());
    dropHover(ui->toolButtonUsers);
}

void TsUsersView::editProfiles()
{
    TsProfileEditorDialog editor(this);
    if (editor.exec() == QDialog::Accepted && !editor.selectedProfile().isEmpty()) {
        // Editing profiles never sends setpoints to the controllers by itself.
        TsCore::setApplyValues(false);
        TsCore::setCurrentProfile(editor.selectedProfile());
        TsCore::setApplyValues(true);
    }
    dropHover(ui->toolButtonProfiles);
}

void TsUsersView::onNewExperiment(TsExperiment *experiment)
{
    if (experiment) {
        connect(experiment->recorder(), &TsExperimentRecorder::started, this,
                &TsUsersView::updateActive, Qt::UniqueConnection);
        connect(experiment->recorder(), &TsExperimentRecorder::stopped, this,
                &TsUsersView::updateActive, Qt::UniqueConnection);
        connect(experiment->script(), &TsExperimentScript::stateChanged, this,
                &TsUsersView::updateActive, Qt::UniqueConnection);
    }
    updateActive();
}
