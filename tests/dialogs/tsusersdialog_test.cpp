#include "dialogs/tsusersdialog.h"

#include "config/tsconfigmanager.h"
#include "dialogs/tsmessagebox.h"
#include "dialogs/tsrecordersettingsdialog.h"
#include "dialogtestsupport.h"
#include "startup.h"
#include "tscore.h"
#include "user/tsusersettings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace {

class TsUsersDialogTest : public ::testing::Test
{
protected:
    AnsweringDialogs answering;

    void SetUp() override
    {
        TsCore::setCurrentUser(QString());
        QDir(TsCore::folderPath(TsCore::Users)).removeRecursively();
        makeUser("ann");
        makeUser("bob");
        TsCore::instance()->reloadUsers();
    }

    static void makeUser(const QString &name, int style = 0)
    {
        ASSERT_TRUE(TsCore::makeUserFolders(name));
        TsUserSettings settings;
        settings.setName(name);
        settings.setStyle(style);
        settings.setLogPath(TsCore::folderPath(TsCore::LogData, name));
        ASSERT_TRUE(settings.save(TsCore::userDataFile(name)).isSuccess());
    }

    static TsUserSettings settingsOf(const QString &name)
    {
        TsUserSettings settings;
        EXPECT_TRUE(settings.load(TsCore::userDataFile(name)).isSuccess()) << qPrintable(name);
        return settings;
    }

    static QStringList folders()
    {
        return QDir(TsCore::folderPath(TsCore::Users))
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    static void click(TsUsersDialog &dialog, QDialogButtonBox::StandardButton which)
    {
        QTest::mouseClick(child<QDialogButtonBox>(dialog, "buttonBox")->button(which),
                          Qt::LeftButton);
    }
};

TEST_F(TsUsersDialogTest, AddsAndRenamesUsersAndSelectsTheSameUserAfterApply)
{
    TsUsersDialog dialog;
    dialog.show();
    auto *list = child<QListView>(dialog, "listViewUsers");
    auto *name = child<QLineEdit>(dialog, "lineEditName");
    auto *logPath = child<QLineEdit>(dialog, "lineEditLogPath");
    EXPECT_TRUE(dialog.selectedUser().isEmpty());
    EXPECT_FALSE(child<QGroupBox>(dialog, "groupBoxUser")->isEnabled());

    ASSERT_TRUE(clickRow(list, "bob"));
    EXPECT_EQ(name->text(), "bob");
    EXPECT_TRUE(child<QRadioButton>(dialog, "radioButtonDefaultLogPath")->isChecked());
    retype(name, "  robert  ");
    // The default log folder follows the name.
    EXPECT_EQ(logPath->text(), TsCore::folderPath(TsCore::LogData, "robert"));

    QTest::mouseClick(child<QPushButton>(dialog, "pushButtonAdd"), Qt::LeftButton);
    EXPECT_EQ(list->currentIndex().data().toString(), "<unnamed>");
    retype(name, "carl");
    retype(child<QLineEdit>(dialog, "lineEditEMail"), "carl@lab.org");
    QTest::mouseClick(child<QCheckBox>(dialog, "checkBoxApplyOnProfileChange"), Qt::LeftButton,
                      Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(dialog.isModified());
    EXPECT_EQ(folders(), QStringList({"ann", "bob"})); // nothing on disk before Apply

    click(dialog, QDialogButtonBox::Apply);
    EXPECT_FALSE(dialog.isModified());
    EXPECT_EQ(folders(), QStringList({"ann", "carl", "robert"}));
    EXPECT_EQ(dialog.selectedUser(), "carl");
    EXPECT_EQ(list->currentIndex().data().toString(), "carl");
    EXPECT_EQ(settingsOf("carl").email(), "carl@lab.org");
    EXPECT_EQ(settingsOf("carl").flags(), int(TsUserSettings::ApplyValuesOnStart));
    EXPECT_EQ(settingsOf("carl").logPath(), TsCore::folderPath(TsCore::LogData, "carl"));
    EXPECT_EQ(settingsOf("robert").logPath(), TsCore::folderPath(TsCore::LogData, "robert"));

    // The search narrows the list; what it hides is not lost.
    QTest::keyClicks(child<QLineEdit>(dialog, "lineEditFilter"), "RO");
    EXPECT_EQ(list->model()->rowCount(), 1);
}

TEST_F(TsUsersDialogTest, RefusesDuplicateAndInvalidNamesAndUnnamedUsers)
{
    TsUsersDialog dialog;
    dialog.show();
    auto *list = child<QListView>(dialog, "listViewUsers");
    auto *name = child<QLineEdit>(dialog, "lineEditName");
    ASSERT_TRUE(clickRow(list, "ann"));

    retype(name, "bob");
    EXPECT_EQ(shown(), QStringList{"User exists: A user named 'bob' exists already."});
    for (const char *refused : {"a:b", ".ann", "CON", "x/y"}) {
        retype(name, refused);
        EXPECT_EQ(shown(), QStringList{"Invalid name: The name contains characters that a folder "
                                       "name cannot have (? * : \" ; | < > / \\), or is one the "
                                       "system keeps for itself."})
            << refused;
    }
    // Said while typing, not as "could not be added:" without a reason when the folder is made.
    retype(name, QString(300, 'u'));
    EXPECT_EQ(
        shown(),
        QStringList{"Invalid name: The name is too long: at most 64 characters are possible."});
    // OK does not close over a refused name, and writes nothing.
    click(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(shown().size(), 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(list->currentIndex().data().toString(), "ann");

    retype(name, "ann");
    QTest::mouseClick(child<QPushButton>(dialog, "pushButtonAdd"), Qt::LeftButton);
    click(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(shown(), QStringList{"Missing name: Please enter a name for every new user."});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(folders(), QStringList({"ann", "bob"}));
}

TEST_F(TsUsersDialogTest, AUserThatCouldNotBeWrittenIsSaidAndTheDialogStays)
{
    TsUsersDialog dialog;
    dialog.show();
    auto *list = child<QListView>(dialog, "listViewUsers");
    ASSERT_TRUE(clickRow(list, "bob"));
    retype(child<QLineEdit>(dialog, "lineEditName"), "carl");
    // Another program makes a folder of that name meanwhile.
    ASSERT_TRUE(QDir().mkpath(TsCore::folderPath(TsCore::Users) + "/carl"));
    click(dialog, QDialogButtonBox::Ok);
    const QStringList boxes = shown();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.first().startsWith("Users not saved: ")) << qPrintable(boxes.first());
    EXPECT_TRUE(boxes.first().contains("bob")) << qPrintable(boxes.first());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(QFile::exists(TsCore::userDataFile("bob"))) << "bob keeps his settings";
}

TEST_F(TsUsersDialogTest, DeletesAUserOnlyAfterTheQuestion)
{
    TsCore::setCurrentUser("bob");
    TsUsersDialog dialog;
    dialog.show();
    auto *list = child<QListView>(dialog, "listViewUsers");
    EXPECT_EQ(dialog.selectedUser(), "bob"); // the current user is preselected
    auto *remove = child<QPushButton>(dialog, "pushButtonDelete");

    TsMessageBox::queueAnswer(QMessageBox::No);
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(shown(),
              QStringList{"Delete User: Are you sure to delete user <b>'bob'</b>?<br>CAUTION: "
                          "All data from this user will be removed permanently!"});
    EXPECT_EQ(list->model()->rowCount(), 2);

    TsMessageBox::queueAnswer(QMessageBox::Yes);
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(folders(), QStringList({"ann", "bob"}));
    click(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(folders(), QStringList{"ann"});
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
}

TEST_F(TsUsersDialogTest, CustomLogPathComesFromTheFolderChooser)
{
    TsUsersDialog dialog;
    dialog.setSelectedUser("ann");
    dialog.show();
    auto *logPath = child<QLineEdit>(dialog, "lineEditLogPath");
    auto *chooser = child<QToolButton>(dialog, "toolButtonLogPath");
    EXPECT_FALSE(chooser->isEnabled());
    EXPECT_TRUE(logPath->isReadOnly());

    QTest::mouseClick(child<QRadioButton>(dialog, "radioButtonCustomLogPath"), Qt::LeftButton,
                      Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(chooser->isEnabled());
    QTest::mouseClick(chooser, Qt::LeftButton); // cancelled: nothing changes
    EXPECT_EQ(TsFileDialog::takeAsked(), QStringList{"Select new log path"});
    EXPECT_EQ(logPath->text(), TsCore::folderPath(TsCore::LogData, "ann"));
    TsFileDialog::queueDirectory("/srv/recordings");
    QTest::mouseClick(chooser, Qt::LeftButton);
    EXPECT_EQ(logPath->text(), "/srv/recordings");

    // A user's CSV settings are edited in the recorder settings dialog, CSV part only.
    whenModal<TsRecorderSettingsDialog>([](TsRecorderSettingsDialog *settings) {
        EXPECT_FALSE(child<QGroupBox>(*settings, "groupBoxLog")->isVisible());
        child<QGroupBox>(*settings, "groupBoxCsv")->setChecked(true);
        settings->accept();
    });
    QTest::mouseClick(child<QPushButton>(dialog, "pushButtonCsv"), Qt::LeftButton);
    EXPECT_TRUE(child<QLabel>(dialog, "labelCsvSummary")->text().startsWith("Tab"));

    click(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(settingsOf("ann").logPath(), "/srv/recordings");
    EXPECT_TRUE(settingsOf("ann").csvSettings().isEnabled());
}

TEST_F(TsUsersDialogTest, StyleOfTheCurrentUserShowsAtOnceAndCancelRestoresIt)
{
    TsCore::setCurrentUser("ann");
    loadStyle(false);
    TsUsersDialog dialog;
    dialog.show();
    auto *style = child<QComboBox>(dialog, "comboBoxStyle");
    chooseIndex(style, 1);
    EXPECT_EQ(qApp->property("styleName").toString(), "light");

    // Cancel asks before it throws the edit away.
    TsMessageBox::queueAnswer(QMessageBox::No);
    click(dialog, QDialogButtonBox::Cancel);
    EXPECT_TRUE(dialog.isVisible());
    TsMessageBox::queueAnswer(QMessageBox::Yes);
    click(dialog, QDialogButtonBox::Cancel);
    EXPECT_EQ(shown().size(), 2);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(qApp->property("styleName").toString(), "dark");
    EXPECT_EQ(settingsOf("ann").style(), 0);

    // Applied, the user's data is reloaded and the light style stays.
    TsUsersDialog again;
    again.show();
    chooseIndex(child<QComboBox>(again, "comboBoxStyle"), 1);
    click(again, QDialogButtonBox::Ok);
    EXPECT_EQ(settingsOf("ann").style(), 1);
    EXPECT_EQ(TsCore::configManager()->userSettings().style(), 1);
    EXPECT_EQ(qApp->property("styleName").toString(), "light");
}

} // namespace
