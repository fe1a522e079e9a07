// The script editor and its action dialog, clicked through offscreen over the real core: which
// buttons a state allows, the name checks of "New", what the action dialog reads and writes, the
// value range by channel, and saves that must not lose what was typed.
#include "scripteditortestsupport.h"

#include "dialogs/tsexperimentscriptactiondialog.h"
#include "dialogs/tsexperimentscripteditordialog.h"
#include "experiment/scripteditor/tsexperimentscriptmodel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

using namespace scripteditortest;
using viewtest::ViewFixture;

namespace {

class ScriptEditorTest : public ScriptFixture
{
protected:
    void SetUp() override
    {
        editor.reset(new TsExperimentScriptEditorDialog);
        editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.data()));
    }
    void TearDown() override { editor.reset(); }

    template <typename T>
    T *child(const char *name) const
    {
        return scripteditortest::child<T>(editor.data(), name);
    }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
    QPushButton *okButton() const
    {
        return child<QDialogButtonBox>("buttonBox")->button(QDialogButtonBox::Ok);
    }
    QTableView *table() const { return child<QTableView>("tableViewScript"); }
    QAbstractItemModel *model() const { return table()->model(); }
    // The enabled state of Add, Edit, Remove, Clear, the table and OK, as one text.
    QString states() const
    {
        QString text;
        for (QWidget *w : {static_cast<QWidget *>(button("pushButtonAdd")),
                           static_cast<QWidget *>(button("pushButtonEdit")),
                           static_cast<QWidget *>(button("pushButtonRemove")),
                           static_cast<QWidget *>(button("pushButtonClear")),
                           static_cast<QWidget *>(table()), static_cast<QWidget *>(okButton())})
            text += w->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return text;
    }
    // Chooses a name in the list as the operator does.
    void choose(const QString &name) { pick(child<QComboBox>("comboBoxName"), name); }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int c = 0; c < model()->columnCount(); ++c)
            cells << model()->index(r, c).data().toString();
        return cells;
    }
    QScopedPointer<TsExperimentScriptEditorDialog> editor;
};

template <typename T>
T *in(QWidget *dialog, const char *name)
{
    return dialog->findChild<T *>(QString::fromLatin1(name));
}

TEST_F(ScriptEditorTest, ButtonsFollowTheNameTheRowsAndTheCurrentRow)
{
    EXPECT_EQ(states(), "000000"); // no name: nothing to add to, nothing to save
    EXPECT_EQ(child<QComboBox>("comboBoxName")->currentIndex(), -1);

    choose("Heating");
    EXPECT_EQ(editor->scriptName(), "Heating");
    EXPECT_EQ(model()->rowCount(), 2);
    EXPECT_EQ(states(), "100111"); // no current row: nothing to edit or remove

    clickCell(table(), 1, 1);
    EXPECT_EQ(states(), "111111");

    // A new name on disk refreshes the list; the edited experiment stays chosen.
    writeDynamicExp("Another", {});
    TsCore::instance()->reloadDynamicExps();
    EXPECT_EQ(child<QComboBox>("comboBoxName")->count(), 2);
    EXPECT_EQ(child<QComboBox>("comboBoxName")->currentText(), "Heating");

    QTest::mouseClick(button("pushButtonRemove"), Qt::LeftButton);
    EXPECT_EQ(model()->rowCount(), 1);
    QTest::mouseClick(button("pushButtonClear"), Qt::LeftButton);
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(states(), "100011");

    // The file stays as it was until OK.
    TsExperimentScript stored;
    ASSERT_TRUE(stored.load(dynamicExpFile("Heating")).isSuccess());
    EXPECT_EQ(stored.actionCount(), 2);
}

TEST_F(ScriptEditorTest, NewRefusesTakenAndInvalidNamesAndStartsAnEmptyNamedScript)
{
    TsInputDialog::queueCancel();
    QTest::mouseClick(button("pushButtonNew"), Qt::LeftButton);
    const QList<TsInputDialog::Asked> asked = TsInputDialog::takeAsked();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.at(0).title, "New dynamic experiment");
    EXPECT_EQ(asked.at(0).label, "Dynamic experiment name:");
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(editor->scriptName().isEmpty());

    TsInputDialog::queueAnswer("Heating");
    QTest::mouseClick(button("pushButtonNew"), Qt::LeftButton);
    EXPECT_EQ(messages(), QStringList{"Name error: Name already exists."});
    EXPECT_TRUE(editor->scriptName().isEmpty());

    for (const QString &bad : {QStringLiteral("a:b"), QStringLiteral("x/y"), QStringLiteral("CON"),
                               QStringLiteral(".hidden")}) {
        TsInputDialog::queueAnswer(bad);
        QTest::mouseClick(button("pushButtonNew"), Qt::LeftButton);
        EXPECT_EQ(messages(), QStringList{"Name error: Please use a valid name."})
            << qPrintable(bad);
    }
    TsInputDialog::queueAnswer(QString(65, 'n'));
    QTest::mouseClick(button("pushButtonNew"), Qt::LeftButton);
    EXPECT_EQ(messages(), QStringList{"Name error: The name is too long: at most 64 characters are "
                                      "possible."});
    EXPECT_EQ(states(), "000000");

    TsInputDialog::queueAnswer("  Long   run ");
    QTest::mouseClick(button("pushButtonNew"), Qt::LeftButton);
    EXPECT_EQ(editor->scriptName(), "Long run");
    QComboBox *names = child<QComboBox>("comboBoxName");
    EXPECT_EQ(names->currentIndex(), 0);
    EXPECT_EQ(names->currentText(), "Long run");
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(states(), "100011");

    // Choosing the new name again from the open list keeps it and what was typed: it has no
    // file to load yet.
    ASSERT_TRUE(model()->insertRow(0));
    emit names->activated(names->currentIndex());
    EXPECT_EQ(editor->scriptName(), "Long run");
    EXPECT_EQ(model()->rowCount(), 1);
}

TEST_F(ScriptEditorTest, AddThenCancelLeavesTheTableAsItWas)
{
    choose("Heating");
    const QStringList first = row(0);
    const QStringList second = row(1);

    bool opened = false;
    whenModal<TsExperimentScriptActionDialog>([&opened](TsExperimentScriptActionDialog *d) {
        opened = true;
        QTest::mouseClick(in<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Cancel),
                          Qt::LeftButton);
        // A Cancel that did nothing would leave the dialog up and the editor waiting.
        EXPECT_FALSE(d->isVisible());
        if (d->isVisible())
            d->reject();
    });
    QTest::mouseClick(button("pushButtonAdd"), Qt::LeftButton);
    EXPECT_TRUE(opened);
    ASSERT_EQ(model()->rowCount(), 2);
    EXPECT_EQ(row(0), first);
    EXPECT_EQ(row(1), second);
}

TEST_F(ScriptEditorTest, AddedActionReachesTheFileWithEveryField)
{
    choose("Heating");
    whenModal<TsExperimentScriptActionDialog>([this](TsExperimentScriptActionDialog *d) {
        // A new action is active, and the comment is typed first.
        EXPECT_TRUE(in<QGroupBox>(d, "groupBoxActive")->isChecked());
        EXPECT_EQ(d->focusWidget(), in<QLineEdit>(d, "lineEditComment"));
        EXPECT_FALSE(
            in<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok)->isEnabled());
        QTest::keyClicks(in<QLineEdit>(d, "lineEditComment"), "  hold at 38.5 ");
        in<QSpinBox>(d, "spinBoxHours")->setValue(1);
        in<QSpinBox>(d, "spinBoxMinutes")->setValue(2);
        in<QSpinBox>(d, "spinBoxSeconds")->setValue(3);
        QComboBox *channels = in<QComboBox>(d, "comboBoxChannels");
        EXPECT_EQ(channels->count(), 3);
        EXPECT_EQ(channels->currentIndex(), -1);
        pick(channels, "Stage");
        QDoubleSpinBox *value = in<QDoubleSpinBox>(d, "doubleSpinBoxValue");
        EXPECT_DOUBLE_EQ(value->minimum(), 0.0); // the controller's range, 0 to 600 raw
        EXPECT_DOUBLE_EQ(value->maximum(), 60.0);
        EXPECT_EQ(value->suffix(), experiment()->channel(stage)->unit());
        // A value never set starts from the channel's setpoint, not from the range's bottom.
        EXPECT_DOUBLE_EQ(value->value(), 37.0);
        value->setValue(38.5);
        QTest::mouseClick(in<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    QTest::mouseClick(button("pushButtonAdd"), Qt::LeftButton);

    // In time order, the new row selected.
    ASSERT_EQ(model()->rowCount(), 3);
    EXPECT_EQ(row(1), (QStringList{"01h 02m 03s", "Stage", "Setpoint Value",
                                   "38.5" + experiment()->channel(stage)->unit(), "hold at 38.5"}));
    EXPECT_EQ(table()->currentIndex().row(), 1);
    EXPECT_EQ(model()->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);

    QTest::mouseClick(okButton(), Qt::LeftButton);
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    TsExperimentScript stored;
    ASSERT_TRUE(stored.load(dynamicExpFile("Heating")).isSuccess());
    const QList<TsExperimentScriptAction *> actions = stored.actions();
    ASSERT_EQ(actions.size(), 3);
    const TsExperimentScriptAction *added = actions.at(1);
    EXPECT_EQ(added->type(), "setChannelValue");
    EXPECT_EQ(added->time(), 3723000);
    EXPECT_EQ(added->comment(), "hold at 38.5");
    EXPECT_TRUE(added->isActive());
    EXPECT_EQ(added->parameter("channel.id").toString(), stage);
    EXPECT_DOUBLE_EQ(added->parameter("channel.value").toDouble(), 38.5);
    // The other rows come back unchanged, the inactive one still inactive.
    EXPECT_FALSE(actions.at(0)->isActive());
    EXPECT_EQ(actions.at(0)->comment(), "warm");
    EXPECT_EQ(actions.at(2)->parameter("channel.value").toBool(), true);
    qDeleteAll(actions);
}

TEST_F(ScriptEditorTest, EditReadsTheRowAndChangesItsKind)
{
    choose("Heating");
    clickCell(table(), 1, 2);
    whenModal<TsExperimentScriptActionDialog>([this](TsExperimentScriptActionDialog *d) {
        EXPECT_EQ(d->windowTitle(), "Action Settings");
        EXPECT_EQ(in<QComboBox>(d, "comboBoxAction")->currentData().toString(),
                  "setChannelLoopCtrl");
        EXPECT_EQ(in<QLineEdit>(d, "lineEditComment")->text(), "lid on");
        EXPECT_EQ(in<QSpinBox>(d, "spinBoxDays")->value(), 1);
        EXPECT_EQ(in<QSpinBox>(d, "spinBoxHours")->value(), 2);
        EXPECT_EQ(in<QSpinBox>(d, "spinBoxMinutes")->value(), 3);
        EXPECT_EQ(in<QSpinBox>(d, "spinBoxSeconds")->value(), 4);
        EXPECT_EQ(in<QComboBox>(d, "comboBoxChannels")->currentData().toString(), lid);
        QComboBox *state = in<QComboBox>(d, "comboBoxValue");
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(state->currentText(), "On");

        // The other kind: a setpoint, whose editor starts from the lid's setpoint.
        QComboBox *kinds = in<QComboBox>(d, "comboBoxAction");
        pick(kinds, "Setpoint Value");
        EXPECT_EQ(in<QComboBox>(d, "comboBoxValue"), nullptr);
        QDoubleSpinBox *value = in<QDoubleSpinBox>(d, "doubleSpinBoxValue");
        ASSERT_NE(value, nullptr);
        EXPECT_DOUBLE_EQ(value->value(), 37.0);
        value->setValue(36.0);
        // An inactive step stays editable: only the kind sits in the "Active" box.
        in<QGroupBox>(d, "groupBoxActive")->setChecked(false);
        EXPECT_TRUE(value->isEnabled());
        EXPECT_TRUE(in<QLineEdit>(d, "lineEditComment")->isEnabled());
        EXPECT_TRUE(in<QComboBox>(d, "comboBoxChannels")->isEnabled());
        QTest::mouseClick(in<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    QTest::mouseClick(button("pushButtonEdit"), Qt::LeftButton);
    EXPECT_EQ(row(1), (QStringList{"01d 02h 03m 04s", "Lid", "Setpoint Value",
                                   "36.0" + experiment()->channel(lid)->unit(), "lid on"}));
    EXPECT_EQ(model()->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST_F(ScriptEditorTest, ACommentTakenOutIsGoneFromTheRowAndTheFile)
{
    choose("Heating");
    clickCell(table(), 1, 2);
    whenModal<TsExperimentScriptActionDialog>([](TsExperimentScriptActionDialog *d) {
        QLineEdit *comment = in<QLineEdit>(d, "lineEditComment");
        EXPECT_EQ(comment->text(), "lid on");
        comment->selectAll();
        QTest::keyClick(comment, Qt::Key_Delete);
        QTest::mouseClick(in<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    QTest::mouseClick(button("pushButtonEdit"), Qt::LeftButton);
    EXPECT_EQ(row(1).at(4), "");

    QTest::mouseClick(okButton(), Qt::LeftButton);
    TsExperimentScript stored;
    ASSERT_TRUE(stored.load(dynamicExpFile("Heating")).isSuccess());
    const QList<TsExperimentScriptAction *> actions = stored.actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions.at(0)->comment(), "warm");
    EXPECT_EQ(actions.at(1)->comment(), "");
    qDeleteAll(actions);
}

TEST_F(ScriptEditorTest, ActionWithoutAChannelOfTheProfileAsksForOne)
{
    writeDynamicExp("Stale", {{"setChannelValue", 1000, "gone:1", 20.0, "old channel"}});
    TsCore::instance()->reloadDynamicExps();
    choose("Stale");
    EXPECT_EQ(row(0).at(1), "gone:1"); // no such channel: the identifier itself

    QStringList shown;
    bool stillOpen = false;
    whenModal<TsExperimentScriptActionDialog>([&](TsExperimentScriptActionDialog *d) {
        QComboBox *channels = in<QComboBox>(d, "comboBoxChannels");
        EXPECT_EQ(channels->currentIndex(), -1);
        QTest::mouseClick(in<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
        shown = messages();
        stillOpen = d->isVisible();
        d->reject();
    });
    clickCell(table(), 0, 0, true); // a double click edits the row
    EXPECT_EQ(shown, QStringList{"Channel missing: Please select a channel"});
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(row(0).at(1), "gone:1");
}

TEST_F(ScriptEditorTest, ChannelWithoutDeviceOffersZeroToHundred)
{
    choose("Heating");
    whenModal<TsExperimentScriptActionDialog>([this](TsExperimentScriptActionDialog *d) {
        QComboBox *channels = in<QComboBox>(d, "comboBoxChannels");
        pick(channels, "Missing");
        QDoubleSpinBox *value = in<QDoubleSpinBox>(d, "doubleSpinBoxValue");
        ASSERT_NE(value, nullptr);
        EXPECT_DOUBLE_EQ(value->minimum(), 0.0);
        EXPECT_DOUBLE_EQ(value->maximum(), 100.0);
        EXPECT_DOUBLE_EQ(value->singleStep(), 0.1);
        EXPECT_EQ(value->decimals(), 1);
        EXPECT_TRUE(value->suffix().isEmpty());
        // A value typed for one channel stays when another is chosen, within its range.
        value->setValue(75.0);
        pick(channels, "Stage");
        EXPECT_DOUBLE_EQ(in<QDoubleSpinBox>(d, "doubleSpinBoxValue")->maximum(), 60.0);
        EXPECT_DOUBLE_EQ(in<QDoubleSpinBox>(d, "doubleSpinBoxValue")->value(), 60.0);
        pick(channels, "Missing");
        EXPECT_DOUBLE_EQ(in<QDoubleSpinBox>(d, "doubleSpinBoxValue")->value(), 75.0);
        d->reject();
    });
    QTest::mouseClick(button("pushButtonAdd"), Qt::LeftButton);
}

TEST_F(ScriptEditorTest, RefusedSaveIsShownAndKeepsTheTableAsTyped)
{
    TsInputDialog::queueAnswer("Unfinished");
    QTest::mouseClick(button("pushButtonNew"), Qt::LeftButton);
    // A row whose value was never set, as a kind change leaves it; the dialogs always set one.
    ASSERT_TRUE(model()->insertRow(0));
    model()->setData(model()->index(0, 1), stage);
    model()->setData(model()->index(0, 0), 60000);

    QTest::mouseClick(okButton(), Qt::LeftButton);
    const QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(
        shown.at(0).startsWith("Dynamic experiment error: Action 1 (Setpoint Value at 01m 00s)"))
        << qPrintable(shown.at(0));
    EXPECT_TRUE(shown.at(0).contains("has no value for 'channel.value'"))
        << qPrintable(shown.at(0));
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(model()->rowCount(), 1);
    EXPECT_EQ(row(0).at(0), "01m 00s");
    EXPECT_FALSE(QFile::exists(dynamicExpFile("Unfinished")));

    // Given a value, the same table saves.
    model()->setData(model()->index(0, 3), 30.0);
    QTest::mouseClick(okButton(), Qt::LeftButton);
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_TRUE(QFile::exists(dynamicExpFile("Unfinished")));
}

TEST_F(ScriptEditorTest, SaveWithoutAUserFailsWithPathMissing)
{
    TsInputDialog::queueAnswer("Orphan");
    QTest::mouseClick(button("pushButtonNew"), Qt::LeftButton);
    const QString user = TsCore::currentUser();
    TsCore::setCurrentUser(QString());
    const QxResult saved = editor->save();
    TsCore::setCurrentUser(user);
    ASSERT_TRUE(saved.isError());
    EXPECT_EQ(saved.message(), "DynamicExperiment path missing");
}

TEST_F(ScriptEditorTest, BrokenFileOpensEmptyAndUnnamed)
{
    writeFile(dynamicExpFile("Broken"),
              "<?xml version=\"1.0\"?><TsDynamicExperiment><ScriptActions>"
              "<ScriptAction type=\"setChannelValue\" time=\"1000\" active=\"1\"/>"
              "<ScriptAction type=\"setChannelValue\" time=\"soon\" active=\"1\"/>"
              "</ScriptActions></TsDynamicExperiment>");
    TsCore::instance()->reloadDynamicExps();
    QComboBox *names = child<QComboBox>("comboBoxName");
    ASSERT_EQ(names->findText("Broken"), 0);
    QTest::keyClick(names, Qt::Key_Down);
    const QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown.at(0).contains("Bad ScriptAction attributes")) << qPrintable(shown.at(0));
    EXPECT_TRUE(editor->scriptName().isEmpty());
    EXPECT_EQ(model()->rowCount(), 0);
    EXPECT_EQ(states(), "000000");
}

} // namespace
