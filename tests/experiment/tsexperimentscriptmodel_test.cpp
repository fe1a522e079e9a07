// The script editor's table: working copies, kinds, sorting, and handing the edits back.
#include "tsexperimentscript_testfixture.h"

#include "experiment/scripteditor/tsexperimentscriptmodel.h"
#include "experiment/tsexperimentscriptaction.h"
#include "experiment/tsexperimentscriptactiontype.h"

#include <QSignalSpy>

namespace {

using scripttest::ScriptFixture;

class ScriptModel : public ScriptFixture
{
protected:
    // Rows entered as the action dialog enters them: kind, comment, active, channel, time, value.
    void enter(int row, const QString &type, const QString &comment, bool active, const QString &id,
               qint64 time, const QVariant &value)
    {
        ASSERT_TRUE(model.setData(model.index(row, 2), type));
        ASSERT_TRUE(model.setData(model.index(row, 4), comment));
        ASSERT_TRUE(model.setData(model.index(row, 0), active ? Qt::Checked : Qt::Unchecked,
                                  Qt::CheckStateRole));
        ASSERT_TRUE(model.setData(model.index(row, 1), id));
        ASSERT_TRUE(model.setData(model.index(row, 0), time));
        ASSERT_TRUE(model.setData(model.index(row, 3), value));
    }
    QStringList comments() const
    {
        QStringList list;
        for (int row = 0; row < model.rowCount(); ++row)
            list << model.index(row, 4).data().toString();
        return list;
    }
    // Three rows entered out of time order, submitted to the script.
    void fill()
    {
        model.setScript(script);
        ASSERT_TRUE(model.insertRows(0, 3));
        enter(0, "setChannelValue", "b", true, stage, 60000, 37.0);
        enter(1, "setChannelLoopCtrl", "c", false, lid, 60000, true);
        enter(2, "setChannelValue", "a", true, missing, 1000, 20.0);
        ASSERT_TRUE(model.submitAll());
    }

    TsExperimentScriptModel model;
};

TEST_F(ScriptModel, InsertedRowsAreEmptyActionsOfTheDefaultKind)
{
    EXPECT_FALSE(model.insertRows(0, 1)); // no script: read-only
    EXPECT_FALSE(model.index(0, 0).data().isValid());
    model.setScript(script);
    EXPECT_EQ(model.columnCount(), 4);
    EXPECT_FALSE(model.insertRows(1, 1));
    EXPECT_FALSE(model.insertRows(0, 0));
    ASSERT_TRUE(model.insertRows(0, 2));
    ASSERT_EQ(model.rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(model.index(row, 0).data(Qt::EditRole), QVariant(qint64(0)));
        EXPECT_EQ(model.index(row, 0).data().toString(), "00m 00s");
        EXPECT_EQ(model.index(row, 0).data(Qt::CheckStateRole), QVariant(Qt::Unchecked));
        EXPECT_EQ(model.index(row, 2).data(Qt::EditRole).toString(), "setChannelValue");
        EXPECT_EQ(model.index(row, 2).data().toString(), "Setpoint Value");
        EXPECT_EQ(model.index(row, 1).data(Qt::EditRole), QVariant(QString()));
        EXPECT_FALSE(model.index(row, 3).data(Qt::EditRole).isValid());
        EXPECT_FALSE(model.index(row, 3).data().isValid());
    }
    EXPECT_FALSE(model.removeRows(1, 2)); // would run past the end
    EXPECT_TRUE(model.removeRows(0, 2));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(script->actionCount(), 0); // nothing submitted
}

TEST_F(ScriptModel, ShowsChannelsValuesAndFlags)
{
    fill();
    model.setScript(script); // sorted by time, then comment
    ASSERT_EQ(comments(), QStringList({"a", "b", "c"}));
    const QString unit = experiment->channel(stage)->unit();
    ASSERT_FALSE(unit.isEmpty());

    EXPECT_EQ(model.index(1, 0).data().toString(), "01m 00s");
    EXPECT_EQ(model.index(1, 1).data().toString(), experiment->channel(stage)->name());
    EXPECT_EQ(model.index(1, 1).data(Qt::EditRole).toString(), stage);
    EXPECT_EQ(model.index(1, 3).data().toString(), "37.0" + unit);
    EXPECT_EQ(model.index(1, 3).data(Qt::EditRole), QVariant(37.0));
    EXPECT_EQ(model.index(2, 2).data().toString(), "Control");
    EXPECT_EQ(model.index(2, 3).data().toString(), "On");
    // An unconnected channel shows with the shared default unit; an unknown one by its id and
    // without a value.
    EXPECT_EQ(model.index(0, 1).data().toString(), "Profile name of " + missing);
    EXPECT_EQ(model.index(0, 3).data().toString(), "20.0" + experiment->channel(missing)->unit());
    ASSERT_TRUE(model.setData(model.index(0, 1), QStringLiteral("nowhere:1")));
    EXPECT_EQ(model.index(0, 1).data().toString(), "nowhere:1");
    EXPECT_FALSE(model.index(0, 3).data().isValid());
    EXPECT_EQ(model.index(1, 2).data(TsExperimentScriptModel::ActiveRole), QVariant(true));
    EXPECT_FALSE(model.index(1, 2).data(Qt::CheckStateRole).isValid());

    EXPECT_TRUE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_FALSE(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(model.flags(model.index(0, 4)).testFlag(Qt::ItemIsEditable));
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), "Comment");
    EXPECT_FALSE(model.index(3, 0).isValid());
    EXPECT_FALSE(model.index(0, 5).isValid());
}

TEST_F(ScriptModel, ChangingTheKindKeepsTimingAndDropsParameters)
{
    fill();
    model.setScript(script);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_FALSE(model.setData(model.index(1, 2), QStringLiteral("wait")));
    ASSERT_TRUE(model.setData(model.index(1, 2), QStringLiteral("setChannelLoopCtrl")));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.index(1, 2).data().toString(), "Control");
    EXPECT_EQ(model.index(1, 0).data(Qt::EditRole), QVariant(qint64(60000)));
    EXPECT_EQ(model.index(1, 4).data().toString(), "b");
    EXPECT_EQ(model.index(1, 0).data(Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_EQ(model.index(1, 1).data(Qt::EditRole), QVariant(QString()));
    EXPECT_FALSE(model.index(1, 3).data(Qt::EditRole).isValid());

    ASSERT_TRUE(model.setData(model.index(1, 4), QString())); // a comment taken out is gone
    EXPECT_EQ(model.index(1, 4).data().toString(), "");
    EXPECT_FALSE(model.setData(model.index(1, 1), stage, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(model.index(1, 1), stage, Qt::DisplayRole));
    ASSERT_TRUE(model.setData(model.index(1, 3), false, TsExperimentScriptModel::ActiveRole));
    EXPECT_EQ(model.index(1, 0).data(Qt::CheckStateRole), QVariant(Qt::Unchecked));
}

TEST_F(ScriptModel, SortsByTimeOnlyAndRevertsToListOrder)
{
    fill();
    model.setScript(script);
    model.sort(1);
    EXPECT_EQ(comments(), QStringList({"a", "b", "c"}));
    model.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(comments(), QStringList({"c", "b", "a"}));
    ASSERT_TRUE(model.setData(model.index(0, 4), QStringLiteral("edited")));
    model.revert();
    EXPECT_EQ(comments(), QStringList({"b", "c", "a"})); // the script's list order
}

TEST_F(ScriptModel, SubmittedCommentsAreSavedAndLoaded)
{
    fill();
    const QString path = file(QStringLiteral("comments.tsx"));
    ASSERT_TRUE(script->save(path).isSuccess());
    script->clear();
    ASSERT_TRUE(script->load(path).isSuccess());
    model.revert();
    EXPECT_EQ(comments(), QStringList({"b", "c", "a"}));
    EXPECT_EQ(model.index(1, 3).data(Qt::EditRole), QVariant(true));

    // The model keeps its own copies: later edits reach the script only when submitted.
    ASSERT_TRUE(model.setData(model.index(0, 4), QStringLiteral("changed")));
    EXPECT_EQ(script->actionCount(), 3);
    TsExperimentScriptModel other;
    other.setScript(script);
    EXPECT_EQ(other.index(1, 4).data().toString(), "b");
    ASSERT_TRUE(model.submitAll());
    other.revert();
    EXPECT_EQ(other.index(0, 4).data().toString(), "changed");

    TsExperimentScriptModel empty;
    EXPECT_FALSE(empty.submitAll());
    EXPECT_TRUE(empty.submit());
}

} // namespace
