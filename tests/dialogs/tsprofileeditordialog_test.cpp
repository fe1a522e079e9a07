#include "dialogs/tsprofileeditordialog.h"

#include "dialogtestsupport.h"
#include "viewtestsupport.h"

#include "device/tsdevicechannel.h"
#include "experiment/tsexperiment.h"
#include "tscore.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {

using viewtest::entry;

class TsProfileEditorDialogTest : public viewtest::ViewFixture
{
protected:
    AnsweringDialogs answering;

    // "Test" with the stage at 37 °C (sent to the controller when it becomes current) and a
    // channel of a controller that is not plugged in.
    void useTestProfile()
    {
        QDir(TsCore::folderPath(TsCore::Profiles, "Operator")).removeRecursively();
        TsProfile::Channel stageEntry = entry(stage, "Stage", true, Qt::red);
        stageEntry.unit = QStringLiteral("°C");
        stageEntry.setpoint = 37.0;
        stageEntry.control = true;
        useChannels({stageEntry, entry(missing, "Missing", false, Qt::blue)});
    }

    static QString profilePath(const QString &name)
    {
        return TsCore::profileFile(TsCore::currentUser(), name);
    }

    static TsProfile stored(const QString &name)
    {
        TsProfile profile;
        EXPECT_TRUE(profile.load(profilePath(name)).isSuccess()) << qPrintable(name);
        return profile;
    }

    static void writeProfile(const QString &name, const QString &description = QString())
    {
        TsProfile profile;
        profile.setName(name);
        profile.setDescription(description);
        profile.setValid(true);
        ASSERT_TRUE(profile.save(profilePath(name)).isSuccess());
        TsCore::instance()->reloadProfiles();
    }

    static QTreeWidgetItem *row(TsProfileEditorDialog &dialog, const QString &id)
    {
        QTreeWidget *tree = child<QTreeWidget>(dialog, "treeWidgetChannels");
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            if (tree->topLevelItem(i)->data(0, Qt::UserRole).toString() == id)
                return tree->topLevelItem(i);
        }
        return nullptr;
    }

    // Toggles a channel's tick with the keyboard, as an operator would.
    static void toggle(TsProfileEditorDialog &dialog, QTreeWidgetItem *item)
    {
        QTreeWidget *tree = child<QTreeWidget>(dialog, "treeWidgetChannels");
        tree->setFocus();
        tree->setCurrentItem(item, 0);
        QTest::keyClick(tree, Qt::Key_Space);
    }

    static void click(TsProfileEditorDialog &dialog, QDialogButtonBox::StandardButton which)
    {
        QTest::mouseClick(child<QDialogButtonBox>(dialog, "buttonBox")->button(which),
                          Qt::LeftButton);
    }

    static void describe(TsProfileEditorDialog &dialog, const QString &text)
    {
        auto *description = child<QPlainTextEdit>(dialog, "plainTextEditDescription");
        description->setFocus();
        QTest::keyClick(description, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(description, text);
    }
};

TEST_F(TsProfileEditorDialogTest, OffersConnectedChannelsAndKeepsMissingOnesWithoutApplyingValues)
{
    useTestProfile();
    TsProfileEditorDialog dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.selectedProfile(), "Test");
    EXPECT_FALSE(dialog.isModified());

    QTreeWidgetItem *stageRow = row(dialog, stage);
    QTreeWidgetItem *lidRow = row(dialog, lid);
    QTreeWidgetItem *missingRow = row(dialog, missing);
    ASSERT_TRUE(stageRow && lidRow && missingRow);
    QTreeWidget *tree = stageRow->treeWidget();
    // The profile's channels first, in its order, then the other connected ones to pick.
    EXPECT_EQ(tree->indexOfTopLevelItem(stageRow), 0);
    EXPECT_EQ(tree->indexOfTopLevelItem(missingRow), 1);
    EXPECT_EQ(stageRow->text(0), "Stage");
    EXPECT_EQ(missingRow->text(0), "Missing (not connected)");
    EXPECT_EQ(lidRow->checkState(0), Qt::Unchecked);
    EXPECT_EQ(lidRow->text(2), "°C");

    // The setpoint is typed into its cell; one outside the controller's range is refused, as on
    // the tile, and the cell keeps what it had.
    const QRect cell = tree->visualItemRect(stageRow);
    const QPoint setpointCell(tree->header()->sectionViewportPosition(1) + 5, cell.center().y());
    auto typeSetpoint = [&](const QString &text) {
        doubleClick(tree->viewport(), setpointCell);
        auto *editor = tree->viewport()->findChild<QDoubleSpinBox *>();
        ASSERT_NE(editor, nullptr);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits and closes its editor on the next turn of the event loop.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !tree->viewport()->findChild<QDoubleSpinBox *>(); }, 5000));
    };
    typeSetpoint("40");
    EXPECT_DOUBLE_EQ(stageRow->data(1, Qt::EditRole).toDouble(), 40.0);
    typeSetpoint("99");
    EXPECT_DOUBLE_EQ(stageRow->data(1, Qt::EditRole).toDouble(), 40.0);
    EXPECT_EQ(shown(), QStringList{"Setpoint out of range: 99.0 is outside this channel's "
                                   "setpoint range of 0.0 to 60.0."});

    toggle(dialog, lidRow); // picked: it gets a colour of its own
    const QColor lidColor = lidRow->data(5, Qt::UserRole + 2).value<QColor>();
    EXPECT_TRUE(lidColor.isValid());
    EXPECT_NE(lidColor, QColor(Qt::red));
    toggle(dialog, missingRow);
    toggle(dialog, missingRow);
    EXPECT_TRUE(dialog.isModified());

    click(dialog, QDialogButtonBox::Save);
    EXPECT_FALSE(dialog.isModified());
    const QList<TsProfile::Channel> channels = stored("Test").channels();
    ASSERT_EQ(channels.size(), 3);
    EXPECT_EQ(channels.at(0).id, stage);
    EXPECT_DOUBLE_EQ(channels.at(0).setpoint, 40.0);
    EXPECT_EQ(channels.at(0).color, QColor(Qt::red));
    EXPECT_EQ(channels.at(1).id, missing); // not connected, still kept
    EXPECT_FALSE(channels.at(1).alert);
    EXPECT_EQ(channels.at(2).id, lid);
    EXPECT_EQ(channels.at(2).unit, "°C");

    // Saving the current profile reloads it, but sends nothing to the controllers.
    EXPECT_EQ(TsCore::currentProfile(), "Test");
    EXPECT_EQ(experiment()->channels().size(), 3);
    tick();
    EXPECT_DOUBLE_EQ(deviceChannel(stage)->setpointValue(), 37.0);
    EXPECT_TRUE(TsCore::applyValues());
}

TEST_F(TsProfileEditorDialogTest, ProfileChangedQuestionSavesOnYesAndDiscardsOnNo)
{
    useTestProfile();
    writeProfile("Other", "other's");
    TsProfileEditorDialog dialog;
    dialog.show();
    auto *list = child<QListWidget>(dialog, "listWidgetProfiles");

    describe(dialog, "first draft");
    TsMessageBox::queueAnswer(QMessageBox::No);
    ASSERT_TRUE(clickRow(list, "Other"));
    EXPECT_EQ(shown(), QStringList{"Profile changed: The current profile has been changed. Please "
                                   "press <b>Yes</b> to save the changes. Otherwise your changes "
                                   "are discarded."});
    EXPECT_EQ(dialog.selectedProfile(), "Other");
    EXPECT_EQ(child<QPlainTextEdit>(dialog, "plainTextEditDescription")->toPlainText(), "other's");
    EXPECT_TRUE(stored("Test").description().isEmpty());

    ASSERT_TRUE(clickRow(list, "Test"));
    EXPECT_TRUE(shown().isEmpty()); // nothing changed: no question
    describe(dialog, "second draft");
    TsMessageBox::queueAnswer(QMessageBox::Yes);
    ASSERT_TRUE(clickRow(list, "Other"));
    EXPECT_EQ(shown().size(), 1);
    EXPECT_EQ(stored("Test").description(), "second draft");
    EXPECT_EQ(dialog.selectedProfile(), "Other");

    // Cancel asks too, and its own Cancel keeps the dialog open with the edit.
    describe(dialog, "third draft");
    TsMessageBox::queueAnswer(QMessageBox::Cancel);
    click(dialog, QDialogButtonBox::Cancel);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isModified());
    // OK saves what is shown.
    click(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(stored("Other").description(), "third draft");
}

TEST_F(TsProfileEditorDialogTest, NewProfileNeedsAValidTitleAndDeletingAsksFirst)
{
    useTestProfile();
    TsProfileEditorDialog dialog;
    dialog.show();
    auto *title = child<QLineEdit>(dialog, "lineEditTitle");

    QTest::mouseClick(child<QPushButton>(dialog, "pushButtonNew"), Qt::LeftButton);
    EXPECT_EQ(title->text(), "unnamed");
    EXPECT_TRUE(dialog.selectedProfile().isEmpty());
    EXPECT_EQ(row(dialog, missing), nullptr); // a new profile offers what is connected
    for (const char *refused : {"a:b", "  ", ".x", "PRN", "a/b"}) {
        title->setText(QString::fromLatin1(refused));
        click(dialog, QDialogButtonBox::Save);
        EXPECT_EQ(shown(), QStringList{"Invalid filename: Please use a valid title."}) << refused;
    }
    title->setText(QString(65, 'p'));
    click(dialog, QDialogButtonBox::Save);
    EXPECT_EQ(shown(), QStringList{"Invalid filename: The name is too long: at most 64 characters "
                                   "are possible."});
    EXPECT_TRUE(dialog.selectedProfile().isEmpty());
    title->setText("  Fresh   run ");
    toggle(dialog, row(dialog, lid));
    click(dialog, QDialogButtonBox::Save);
    EXPECT_EQ(dialog.selectedProfile(), "Fresh run");
    EXPECT_EQ(TsCore::profiles(), QStringList({"Fresh run", "Test"}));
    EXPECT_EQ(stored("Fresh run").channels().size(), 1);
    EXPECT_EQ(TsCore::currentProfile(), "Test"); // choosing it is the caller's business

    // Taking the name of another profile asks before replacing it; Enter keeps the other one.
    title->setText("Test");
    click(dialog, QDialogButtonBox::Save);
    const QList<TsMessageBox::Asked> replace = TsMessageBox::takeAsked();
    ASSERT_EQ(replace.size(), 1);
    EXPECT_EQ(replace.at(0).title + ": " + replace.at(0).text,
              "Replace profile: A profile named 'Test' exists already. Do you want to replace it?");
    EXPECT_EQ(replace.at(0).defaultButton, QMessageBox::No);
    EXPECT_EQ(stored("Test").channels().size(), 2);
    title->setText("Fresh run");

    auto *remove = child<QPushButton>(dialog, "pushButtonDelete");
    TsMessageBox::queueAnswer(QMessageBox::No);
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(shown(), QStringList{"Delete profile: Do you really want to delete profile 'Fresh "
                                   "run' ?"});
    EXPECT_TRUE(QFile::exists(profilePath("Fresh run")));
    TsMessageBox::queueAnswer(QMessageBox::Yes);
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(profilePath("Fresh run")));
    EXPECT_EQ(child<QListWidget>(dialog, "listWidgetProfiles")->count(), 1);
    EXPECT_EQ(dialog.selectedProfile(), "Test");
}

TEST_F(TsProfileEditorDialogTest, FailedSaveKeepsTheOldFileAndRenameFollowsTheCurrentProfile)
{
    useTestProfile();
    QFile original(profilePath("Test"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();
    // A folder where the file would go: no file can be written there, not even by root.
    ASSERT_TRUE(QDir().mkpath(profilePath("Blocked")));

    TsProfileEditorDialog dialog;
    dialog.show();
    auto *title = child<QLineEdit>(dialog, "lineEditTitle");
    title->setText("Blocked");
    describe(dialog, "must not be lost");
    click(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(shown(), QStringList{"Save failed: Saving profile failed."});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.isModified());
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), before);
    original.close();
    EXPECT_EQ(TsCore::currentProfile(), "Test");

    title->setText("Renamed");
    click(dialog, QDialogButtonBox::Ok);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(QFile::exists(profilePath("Test")));
    EXPECT_EQ(stored("Renamed").description(), "must not be lost");
    EXPECT_EQ(TsCore::currentProfile(), "Renamed");
    EXPECT_EQ(dialog.selectedProfile(), "Renamed");
}

} // namespace
