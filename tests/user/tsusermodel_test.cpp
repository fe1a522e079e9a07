#include "user/tsusermodel.h"

#include "support/smalltmpfs.h"

#include "tscore.h"
#include "user/tsusersettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class TsUserModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TsCore::setCurrentUser(QString());
        QDir(TsCore::folderPath(TsCore::Users)).removeRecursively();
        TsCore::instance()->reloadUsers();
    }

    static void makeUser(const QString &name, const QString &email = QString())
    {
        ASSERT_TRUE(TsCore::makeUserFolders(name));
        TsUserSettings settings;
        settings.setName(name);
        settings.setEmail(email);
        settings.setLogPath(TsCore::folderPath(TsCore::LogData, name));
        ASSERT_TRUE(settings.save(TsCore::userDataFile(name)).isSuccess());
    }

    static TsUserSettings settingsOf(const QString &name)
    {
        TsUserSettings settings;
        settings.load(TsCore::userDataFile(name));
        return settings;
    }

    static QStringList folders()
    {
        return QDir(TsCore::folderPath(TsCore::Users))
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    static int rowOf(const TsUserModel &model, const QString &name)
    {
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.data(model.index(row, 0), Qt::EditRole).toString() == name)
                return row;
        }
        return -1;
    }
};

TEST_F(TsUserModelTest, ShowsEveryUserWithItsSettings)
{
    makeUser("ann", "ann@lab.org");
    makeUser("bob");
    TsUserModel model;
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "ann");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "ann@lab.org");
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), TsCore::folderPath(TsCore::LogData, "ann"));
    EXPECT_TRUE(model.data(model.index(0, 3)).canConvert<TsRecorderCSVSettings>());
    EXPECT_EQ(model.data(model.index(0, 4)).toInt(), 0);
    EXPECT_TRUE(model.data(model.index(0, 5)).toBool());
    EXPECT_TRUE(model.data(model.index(0, 6)).toBool());
    EXPECT_TRUE(model.data(model.index(0, 2), TsUserModel::IsDefaultLogPathRole).toBool());
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Log Path");
    EXPECT_FALSE(model.headerData(5, Qt::Horizontal).isValid());

    EXPECT_FALSE(model.insertRows(0, 2));
    EXPECT_FALSE(model.removeRows(0, 2));
    EXPECT_FALSE(model.removeRows(5, 1));
    ASSERT_TRUE(model.insertRows(99, 1));
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "<unnamed>");
    EXPECT_EQ(model.rowState(2), TsUserModel::Added);
}

TEST_F(TsUserModelTest, RefusedEditsChangeNothing)
{
    makeUser("ann", "ann@lab.org");
    makeUser("bob");
    TsUserModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QModelIndex name = model.index(0, 0);
    for (const QString &bad :
         {QStringLiteral("bob"), QStringLiteral("a:b"), QStringLiteral(".hidden"),
          QStringLiteral("a/b"), QStringLiteral("CON"), QStringLiteral("  ")})
        EXPECT_FALSE(model.setData(name, bad)) << qPrintable(bad);
    EXPECT_FALSE(model.setData(model.index(0, 1), "not an address"));
    EXPECT_FALSE(model.setData(model.index(0, 2), "  "));
    EXPECT_FALSE(model.setData(model.index(0, 2), "<default>"));
    EXPECT_FALSE(model.setData(name, "anna", Qt::DisplayRole));
    EXPECT_EQ(model.data(name).toString(), "ann");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "ann@lab.org");
    EXPECT_EQ(model.rowState(0), TsUserModel::Unchanged);
    EXPECT_EQ(changed.count(), 0);

    EXPECT_TRUE(model.setData(model.index(0, 1), "  "));
    EXPECT_TRUE(model.data(model.index(0, 1)).toString().isEmpty()) << "no address is allowed";
    EXPECT_EQ(model.rowState(0), TsUserModel::Modified);
}

TEST_F(TsUserModelTest, RenamingMovesTheDefaultLogPathAlong)
{
    makeUser("ann");
    TsUserModel model;
    EXPECT_TRUE(model.setData(model.index(0, 0), "  anna  maria "));
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "anna maria");
    EXPECT_EQ(model.data(model.index(0, 2)).toString(),
              TsCore::folderPath(TsCore::LogData, "anna maria"));

    // A custom log path elsewhere stays; one named like the user folder but outside it too.
    EXPECT_TRUE(model.setData(model.index(0, 2), TsCore::folderPath(TsCore::User, "anna maria2")));
    EXPECT_TRUE(model.setData(model.index(0, 0), "anna"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(),
              TsCore::folderPath(TsCore::User, "anna maria2"));
}

TEST_F(TsUserModelTest, SubmitRenamesSavesAndDeletes)
{
    makeUser("ann");
    makeUser("bob");
    makeUser("cid");
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("bob").isSuccess());
    QStringList notified;
    auto connection = QObject::connect(TsCore::instance(), &TsCore::userDataChanged,
                                       [&](const QString &n) { notified << n; });

    TsUserModel model;
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "ann"), 0), "anna"));
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "bob"), 4), 1));
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "bob"), 5), false));
    ASSERT_TRUE(model.removeRows(rowOf(model, "cid"), 1));
    ASSERT_TRUE(model.insertRows(0, 1));
    ASSERT_TRUE(model.setData(model.index(0, 0), "dan"));
    EXPECT_FALSE(model.setData(model.index(0, 1), "dan@lab.org; not an address"));
    // Several recipients, and a top-level domain longer than four letters.
    ASSERT_TRUE(model.setData(model.index(0, 1), "dan@cellbio.science; dan.home@lab.example"));
    EXPECT_EQ(model.data(model.index(0, 1), Qt::EditRole).toString(),
              "dan@cellbio.science; dan.home@lab.example");
    ASSERT_TRUE(model.setData(model.index(0, 1), "Dan@Lab.org"));
    EXPECT_EQ(folders(), QStringList({"ann", "bob", "cid"})) << "nothing on disk before submit";

    EXPECT_TRUE(model.submit());
    QObject::disconnect(connection);
    EXPECT_EQ(folders(), QStringList({"anna", "bob", "dan"}));
    EXPECT_EQ(settingsOf("anna").logPath(), TsCore::folderPath(TsCore::LogData, "anna"));
    EXPECT_EQ(settingsOf("anna").name(), "anna");
    EXPECT_EQ(settingsOf("bob").style(), 1);
    EXPECT_EQ(settingsOf("bob").flags(), 2);
    EXPECT_EQ(settingsOf("dan").email(), "Dan@Lab.org");
    EXPECT_TRUE(QFileInfo(TsCore::folderPath(TsCore::Profiles, "dan")).isDir());
    EXPECT_TRUE(notified.contains("bob")) << "the current user's data is reloaded";

    EXPECT_EQ(model.rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(model.rowState(row), TsUserModel::Unchanged);
}

TEST_F(TsUserModelTest, AddedThenRemovedRowNeverReachesTheDisk)
{
    makeUser("ann");
    TsUserModel model;
    ASSERT_TRUE(model.insertRows(1, 1));
    ASSERT_TRUE(model.setData(model.index(1, 0), "ghost"));
    ASSERT_TRUE(model.removeRows(1, 1));
    EXPECT_TRUE(model.submit());
    EXPECT_EQ(folders(), QStringList({"ann"}));
}

TEST_F(TsUserModelTest, RemovedAndReaddedUserStartsAfresh)
{
    makeUser("ann", "ann@lab.org");
    QFile stale(TsCore::folderPath(TsCore::LogData, "ann") + "/old.csv");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    TsUserModel model;
    ASSERT_TRUE(model.removeRows(0, 1));
    ASSERT_TRUE(model.insertRows(0, 1));
    ASSERT_TRUE(model.setData(model.index(0, 0), "ann")) << "the removed row's name is free";
    EXPECT_TRUE(model.submit());

    EXPECT_EQ(folders(), QStringList({"ann"}));
    EXPECT_FALSE(stale.exists()) << "the old folder went first";
    EXPECT_TRUE(settingsOf("ann").email().isEmpty());
}

TEST_F(TsUserModelTest, RowRenamedOntoARemovedUserTakesItsPlace)
{
    makeUser("ann", "ann@lab.org");
    makeUser("bob", "bob@lab.org");
    QFile stale(TsCore::folderPath(TsCore::LogData, "bob") + "/old.csv");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    TsUserModel model;
    ASSERT_TRUE(model.removeRows(rowOf(model, "bob"), 1));
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "ann"), 0), "bob"));
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "bob"), 1), "new@lab.org"));
    EXPECT_TRUE(model.submit());

    EXPECT_EQ(folders(), QStringList({"bob"}));
    EXPECT_FALSE(stale.exists()) << "the removed user's folder went first";
    EXPECT_EQ(settingsOf("bob").email(), "new@lab.org") << "the renamed row's edits were saved";
    EXPECT_EQ(settingsOf("bob").logPath(), TsCore::folderPath(TsCore::LogData, "bob"));
}

TEST_F(TsUserModelTest, RemovingARenamedRowDeletesItsFolder)
{
    makeUser("ann");
    TsUserModel model;
    ASSERT_TRUE(model.setData(model.index(0, 0), "anna"));
    ASSERT_TRUE(model.removeRows(0, 1));
    EXPECT_TRUE(model.submit());
    EXPECT_TRUE(folders().isEmpty());
}

TEST_F(TsUserModelTest, AnAddedRowMayTakeTheNameARenamedRowGivesUp)
{
    makeUser("A", "a@lab.org");
    TsUserModel model;
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "A"), 0), "B"));
    ASSERT_TRUE(model.insertRows(0, 1)); // above the renamed row
    ASSERT_TRUE(model.setData(model.index(0, 0), "A"));
    ASSERT_TRUE(model.setData(model.index(0, 1), "new@lab.org"));
    EXPECT_TRUE(model.submit()) << model.lastError().toStdString();

    EXPECT_EQ(folders(), QStringList({"A", "B"}));
    EXPECT_EQ(settingsOf("B").email(), "a@lab.org");
    EXPECT_EQ(settingsOf("B").name(), "B");
    EXPECT_EQ(settingsOf("A").email(), "new@lab.org");
    EXPECT_EQ(model.rowCount(), 2);
}

TEST_F(TsUserModelTest, UsersSwapAndPassOnTheirNames)
{
    makeUser("A", "a@lab.org");
    makeUser("B", "b@lab.org");
    makeUser("C", "c@lab.org");
    QFile log(TsCore::folderPath(TsCore::LogData, "A") + "/run.csv");
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.close();

    TsUserModel model;
    // A and B swap through a name of the table's own; C takes a new one.
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "A"), 0), "x"));
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "B"), 0), "A"));
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "x"), 0), "B"));
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "C"), 0), "D"));
    EXPECT_TRUE(model.submit()) << model.lastError().toStdString();

    EXPECT_EQ(folders(), QStringList({"A", "B", "D"})) << "no temporary folder is left";
    EXPECT_EQ(settingsOf("A").email(), "b@lab.org");
    EXPECT_EQ(settingsOf("B").email(), "a@lab.org");
    EXPECT_EQ(settingsOf("D").email(), "c@lab.org");
    EXPECT_EQ(settingsOf("B").logPath(), TsCore::folderPath(TsCore::LogData, "B"));
    EXPECT_TRUE(QFileInfo::exists(TsCore::folderPath(TsCore::LogData, "B") + "/run.csv"))
        << "the recordings went with their user";
}

TEST_F(TsUserModelTest, ARenameThatFailsIsNamedAndOverwritesNothing)
{
    makeUser("A", "a@lab.org");
    // Something that is not a user holds the new name.
    QFile blocker(TsCore::folderPath(TsCore::Users) + "/B");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    TsUserModel model;
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "A"), 0), "B"));
    ASSERT_TRUE(model.insertRows(0, 1));
    ASSERT_TRUE(model.setData(model.index(0, 0), "A"));
    ASSERT_TRUE(model.setData(model.index(0, 1), "new@lab.org"));
    EXPECT_FALSE(model.submit());

    EXPECT_TRUE(model.lastError().contains("'A' could not be renamed to 'B'"))
        << model.lastError().toStdString();
    EXPECT_TRUE(model.lastError().contains("'A' could not be added"));
    EXPECT_EQ(folders(), QStringList({"A"}));
    EXPECT_EQ(settingsOf("A").email(), "a@lab.org") << "the existing user is untouched";
    EXPECT_EQ(settingsOf("A").name(), "A");
}

TEST_F(TsUserModelTest, RevertDiscardsEdits)
{
    makeUser("ann");
    TsUserModel model;
    ASSERT_TRUE(model.setData(model.index(0, 0), "anna"));
    ASSERT_TRUE(model.insertRows(0, 1));
    model.revert();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "ann");
    EXPECT_TRUE(model.submit());
    EXPECT_EQ(folders(), QStringList({"ann"}));
}

TEST_F(TsUserModelTest, ASaveOnAFullDiskIsAnnouncedAndKeepsTheOldFile)
{
    makeUser("eve", "eve@lab.org");
    TsCore::instance()->reloadUsers();
    const QString folder = TsCore::folderPath(TsCore::User, "eve");
    QFile file(TsCore::userDataFile("eve"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // The user's folder on a disk of its own, holding the same file, then filled.
    QTemporaryDir keep;
    ASSERT_TRUE(QFile::copy(file.fileName(), keep.filePath("Userdata.xml")));
    SmallTmpfs disk(folder, 64);
    if (!disk.isMounted())
        GTEST_SKIP() << disk.skipReason().toStdString();
    ASSERT_TRUE(QFile::copy(keep.filePath("Userdata.xml"), file.fileName()));
    ASSERT_TRUE(disk.fill());

    TsUserModel model;
    QSignalSpy failed(&model, &TsUserModel::saveFailed);
    ASSERT_TRUE(model.setData(model.index(rowOf(model, "eve"), 1), "new@lab.org"));
    model.submit();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(0).toString().contains("'eve'"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

} // namespace
