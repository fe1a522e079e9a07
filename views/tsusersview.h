// The view in which the operator chooses who is working and which of that user's profiles is in
// use. It mirrors the core's lists and current names; every choice goes through the core. Locked
// while the experiment records or runs its script, so that nobody switches the channels under a
// running experiment.
#pragma once

#include <QFrame>
#include <QHash>
#include <QScopedPointer>

namespace Ui {
class TsUsersView;
}

class FancyLabel;
class TsExperiment;

class TsUsersView : public QFrame
{
    Q_OBJECT

public:
    explicit TsUsersView(QWidget *parent = nullptr);
    ~TsUsersView() override;

public slots:
    void updateActive();

private slots:
    void reloadUsers();
    void reloadProfiles();
    void followCurrentUser(const QString &name);
    void followCurrentProfile(const QString &name);
    void userActivated(int index);
    void profileActivated(int index);
    void editUsers();
    void editProfiles();
    void onNewExperiment(TsExperiment *experiment);

private:
    // Switching user empties the profile; an operator who switches back finds the profile that
    // user last had, chosen again as if picked from the list.
    void switchUser(const QString &name);
    void chooseProfile(const QString &name);

    QScopedPointer<Ui::TsUsersView> ui;
    FancyLabel *m_title;
    QHash<QString, QString> m_lastProfiles; // by user, for this session
};
