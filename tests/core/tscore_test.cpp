#include "tscore.h"

#include "device/tsdevicemanager.h"
#include "fcgitestclient.h"
#include "mailer/tsmailermanager.h"
#include "webinterface/tswebinterfacemanager.h"

#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    file.write("x");
}

// Every signal of the core, in the order it was emitted, as "signal(argument)".
class SignalLog
{
public:
    SignalLog()
    {
        TsCore *core = TsCore::instance();
        auto add = [this](const char *name, const QString &arg = QString()) {
            entries << QStringLiteral("%1(%2)").arg(QLatin1String(name), arg);
        };
        connections << QObject::connect(core, &TsCore::currentUserChanged,
                                        [add](const QString &n) { add("user", n); });
        connections << QObject::connect(core, &TsCore::availableUsersChanged,
                                        [add] { add("users"); });
        connections << QObject::connect(core, &TsCore::userDataChanged,
                                        [add](const QString &n) { add("userData", n); });
        connections << QObject::connect(core, &TsCore::currentProfileChanged,
                                        [add](const QString &n) { add("profile", n); });
        connections << QObject::connect(core, &TsCore::availableProfilesChanged,
                                        [add] { add("profiles"); });
        connections << QObject::connect(core, &TsCore::currentDynamicExpChanged,
                                        [add](const QString &n) { add("dynexp", n); });
        connections << QObject::connect(core, &TsCore::availableDynamicExpsChanged,
                                        [add] { add("dynexps"); });
    }
    ~SignalLog()
    {
        for (const auto &c : connections)
            QObject::disconnect(c);
    }
    QStringList take()
    {
        const QStringList result = entries;
        entries.clear();
        return result;
    }

    QStringList entries;
    QList<QMetaObject::Connection> connections;
};

class TsCoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TsCore::setCurrentUser(QString());
        QDir(TsCore::folderPath(TsCore::Users)).removeRecursively();
        QDir(outside()).removeRecursively();
        TsCore::instance()->reloadUsers();
        ASSERT_TRUE(TsCore::users().isEmpty());
    }

    // A user with the given profiles and dynamic experiments on disk.
    static void makeUser(const QString &name, const QStringList &profiles = {},
                         const QStringList &dynamicExps = {})
    {
        ASSERT_TRUE(TsCore::makeUserFolders(name));
        for (const QString &p : profiles)
            touch(TsCore::folderPath(TsCore::Profiles, name) + "/" + p + ".tsp");
        for (const QString &x : dynamicExps)
            touch(TsCore::folderPath(TsCore::DynamicExperiments, name) + "/" + x + ".tsx");
    }

    static QString outside() { return testHome() + "/outside"; }
};

TEST_F(TsCoreTest, DataLayoutFollowsDataPath)
{
    const QString root = QDir::cleanPath(testHome() + "/data/Tessaro");
    EXPECT_EQ(TsCore::dataRoot(), root);
    EXPECT_EQ(TsCore::folderPath(TsCore::Root), root);
    EXPECT_EQ(TsCore::folderPath(TsCore::Root, "ann"), root);
    EXPECT_EQ(TsCore::folderPath(TsCore::Users), root + "/Users");
    EXPECT_EQ(TsCore::folderPath(TsCore::User, "ann"), root + "/Users/ann");
    EXPECT_EQ(TsCore::folderPath(TsCore::Profiles, "ann"), root + "/Users/ann/Profiles");
    EXPECT_EQ(TsCore::folderPath(TsCore::LogData, "ann"), root + "/Users/ann/Log Data");
    EXPECT_EQ(TsCore::folderPath(TsCore::DynamicExperiments, "ann"),
              root + "/Users/ann/Dynamic Experiments");
    EXPECT_EQ(TsCore::settingsFile(), root + "/Settings.xml");

    for (auto kind : {TsCore::User, TsCore::Profiles, TsCore::LogData, TsCore::DynamicExperiments})
        EXPECT_TRUE(TsCore::folderPath(kind, QString()).isEmpty()) << kind;
    EXPECT_TRUE(TsCore::folderPath(TsCore::FolderKind(6), "ann").isEmpty());
    EXPECT_TRUE(TsCore::folderPath(TsCore::FolderKind(-1)).isEmpty());

    // The settings key is read once; the working directory plays no part.
    QSettings().setValue("dataPath", testHome() + "/elsewhere");
    EXPECT_EQ(TsCore::dataRoot(), root);
    QSettings().setValue("dataPath", testHome() + "/data");
}

TEST_F(TsCoreTest, FilePathsOfAUser)
{
    EXPECT_TRUE(TsCore::userDataFile("ann").isEmpty()) << "no folder yet";
    EXPECT_TRUE(TsCore::makeUserFolders("ann"));
    for (auto kind : {TsCore::User, TsCore::Profiles, TsCore::LogData, TsCore::DynamicExperiments})
        EXPECT_TRUE(QFileInfo(TsCore::folderPath(kind, "ann")).isDir()) << kind;
    EXPECT_EQ(TsCore::userDataFile("ann"),
              TsCore::folderPath(TsCore::User, "ann") + "/Userdata.xml");
    EXPECT_EQ(TsCore::profileFile("ann", "Day 1"),
              TsCore::folderPath(TsCore::Profiles, "ann") + "/Day 1.tsp");
    EXPECT_EQ(TsCore::dynamicExpFile("ann", "Ramp"),
              TsCore::folderPath(TsCore::DynamicExperiments, "ann") + "/Ramp.tsx");
    EXPECT_TRUE(TsCore::profileFile("ann", QString()).isEmpty());
    EXPECT_TRUE(TsCore::profileFile(QString(), "Day 1").isEmpty());
    EXPECT_TRUE(TsCore::dynamicExpFile("ann", QString()).isEmpty());
    EXPECT_TRUE(TsCore::userDataFile(QString()).isEmpty());
}

TEST_F(TsCoreTest, ListBaseNamesSortsMatchingFilesOfTheCurrentUser)
{
    makeUser("ann", {"zeta", "Alpha", "beta.v2"});
    touch(TsCore::folderPath(TsCore::Profiles, "ann") + "/notes.txt");
    QDir().mkpath(TsCore::folderPath(TsCore::Profiles, "ann") + "/folder.tsp");
    EXPECT_TRUE(TsCore::listBaseNames(TsCore::Profiles, "*.tsp").isEmpty()) << "no current user";

    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    EXPECT_EQ(TsCore::listBaseNames(TsCore::Profiles, "*.tsp"),
              QStringList({"Alpha", "beta.v2", "zeta"}));
    EXPECT_EQ(TsCore::profiles(), QStringList({"Alpha", "beta.v2", "zeta"}));
    EXPECT_TRUE(TsCore::listBaseNames(TsCore::DynamicExperiments, "*.tsx").isEmpty());
}

TEST_F(TsCoreTest, SwitchingUserEmptiesProfileThenAnnouncesUserThenReloads)
{
    makeUser("ann", {"p1", "p2"}, {"d1"});
    makeUser("bob");
    SignalLog log;
    TsCore::instance()->reloadUsers();
    EXPECT_EQ(log.take(), QStringList({"users()"}));
    EXPECT_EQ(TsCore::users(), QStringList({"ann", "bob"}));

    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    EXPECT_EQ(log.take(), QStringList({"profile()", "user(ann)", "profile()", "profiles()",
                                       "profile()", "dynexps()"}));
    EXPECT_EQ(TsCore::profiles(), QStringList({"p1", "p2"}));
    EXPECT_EQ(TsCore::dynamicExps(), QStringList({"d1"}));

    EXPECT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    EXPECT_TRUE(log.take().isEmpty()) << "the same user again says nothing";

    ASSERT_TRUE(TsCore::setCurrentProfile("p2").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("d1").isSuccess());
    log.take();
    ASSERT_TRUE(TsCore::setCurrentUser("bob").isSuccess());
    EXPECT_EQ(log.take(), QStringList({"profile()", "dynexp()", "user(bob)", "profile()",
                                       "profiles()", "profile()", "dynexps()"}));
    EXPECT_TRUE(TsCore::currentProfile().isEmpty());
    EXPECT_TRUE(TsCore::profiles().isEmpty());
}

TEST_F(TsCoreTest, UnknownUserLeavesNoneCurrent)
{
    makeUser("ann");
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    SignalLog log;

    const QxResult result = TsCore::setCurrentUser("Ann");
    EXPECT_TRUE(result.isError()) << "names compare case-sensitively";
    EXPECT_EQ(result.message(), "User 'Ann' does not exist");
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
    // The profile is emptied first and announced again by the reload; the dynamic experiment was
    // empty already and says nothing.
    EXPECT_EQ(log.take(), QStringList({"profile()", "user()", "profile()", "profile()"}));
    EXPECT_FALSE(QFileInfo::exists(TsCore::folderPath(TsCore::User, "Ann")));
}

TEST_F(TsCoreTest, ProfileIsAnnouncedTwiceOnReloadAndAgainWhenSetAgain)
{
    makeUser("ann", {"p1", "p2"});
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("p1").isSuccess());
    SignalLog log;

    TsCore::instance()->reloadProfiles();
    EXPECT_EQ(log.take(), QStringList({"profile()", "profile(p1)"}));
    EXPECT_EQ(TsCore::currentProfile(), "p1");

    ASSERT_TRUE(TsCore::setCurrentProfile("p1").isSuccess());
    EXPECT_EQ(log.take(), QStringList({"profile(p1)"}));

    const QxResult unknown = TsCore::setCurrentProfile("p3");
    EXPECT_EQ(unknown.message(), "Profile 'p3' does not exist");
    EXPECT_EQ(TsCore::currentProfile(), "p1");
    EXPECT_TRUE(log.take().isEmpty());

    // A profile that vanished from disk leaves none current.
    QFile::remove(TsCore::profileFile("ann", "p1"));
    TsCore::instance()->reloadProfiles();
    EXPECT_EQ(log.take(), QStringList({"profile()", "profiles()"}));
    EXPECT_TRUE(TsCore::currentProfile().isEmpty());
    EXPECT_EQ(TsCore::profiles(), QStringList({"p2"}));
}

TEST_F(TsCoreTest, DynamicExperimentIsAnnouncedOnlyOnChange)
{
    makeUser("ann", {}, {"d1", "d2"});
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    SignalLog log;

    ASSERT_TRUE(TsCore::setCurrentDynamicExp("d2").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentDynamicExp("d2").isSuccess());
    EXPECT_EQ(log.take(), QStringList({"dynexp(d2)"}));
    EXPECT_EQ(TsCore::setCurrentDynamicExp("d3").message(),
              "Dynamic experiment 'd3' does not exist");
    EXPECT_EQ(TsCore::currentDynamicExp(), "d2");

    TsCore::instance()->reloadDynamicExps();
    EXPECT_EQ(log.take(), QStringList({"dynexp()", "dynexp(d2)"}));
}

TEST_F(TsCoreTest, VanishedCurrentUserIsDroppedOnReload)
{
    makeUser("ann", {"p1"});
    makeUser("bob");
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("p1").isSuccess());
    SignalLog log;

    TsCore::instance()->reloadUsers();
    EXPECT_TRUE(log.take().isEmpty()) << "unchanged folder";

    QDir(TsCore::folderPath(TsCore::User, "ann")).removeRecursively();
    TsCore::instance()->reloadUsers();
    const QStringList signals_ = log.take();
    ASSERT_FALSE(signals_.isEmpty());
    EXPECT_EQ(signals_.first(), "users()");
    EXPECT_TRUE(signals_.contains("user()"));
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
    EXPECT_TRUE(TsCore::currentProfile().isEmpty());
    EXPECT_EQ(TsCore::users(), QStringList({"bob"}));
}

TEST_F(TsCoreTest, UserDataChangesAreAnnouncedForKnownUsersOnly)
{
    makeUser("ann");
    TsCore::instance()->reloadUsers();
    SignalLog log;
    TsCore::notifyUserDataChanged("ann");
    TsCore::notifyUserDataChanged("carl");
    TsCore::notifyUserDataChanged(QString());
    EXPECT_EQ(log.take(), QStringList({"userData(ann)"}));
}

TEST_F(TsCoreTest, RenameUserRefusalsTouchNothing)
{
    makeUser("ann", {"p1"});
    makeUser("bob");
    TsCore::instance()->reloadUsers();

    EXPECT_TRUE(TsCore::renameUser("ann", "bob").isError());
    EXPECT_TRUE(TsCore::renameUser("carl", "dave").isError());
    EXPECT_TRUE(TsCore::renameUser("carl", QString()).isError());
    EXPECT_TRUE(TsCore::renameUser(QString(), "dave").isError());
    EXPECT_TRUE(TsCore::renameUser("Ann", QString()).isError());
    EXPECT_EQ(QDir(TsCore::folderPath(TsCore::Users)).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"ann", "bob"}));
    EXPECT_TRUE(QFileInfo::exists(TsCore::profileFile("ann", "p1")));
    EXPECT_TRUE(TsCore::renameUser("ann", "bob").message().isEmpty()) << "plain failure";

    // Listed, but its folder went away behind the program's back.
    QDir(TsCore::folderPath(TsCore::User, "bob")).removeRecursively();
    EXPECT_TRUE(TsCore::renameUser("bob", "bert").isError());
    EXPECT_FALSE(QFileInfo::exists(TsCore::folderPath(TsCore::User, "bert")));
}

TEST_F(TsCoreTest, RenameAndDeleteUsers)
{
    makeUser("ann", {"p1"});
    makeUser("bob");
    makeUser("cid");
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("p1").isSuccess());

    // The current user follows its new name.
    ASSERT_TRUE(TsCore::renameUser("ann", "anna").isSuccess());
    EXPECT_EQ(TsCore::currentUser(), "anna");
    EXPECT_TRUE(QFileInfo::exists(TsCore::profileFile("anna", "p1")));
    EXPECT_FALSE(QFileInfo::exists(TsCore::folderPath(TsCore::User, "ann")));

    // Another user's rename leaves the list to the caller.
    ASSERT_TRUE(TsCore::renameUser("bob", "bert").isSuccess());
    EXPECT_TRUE(QFileInfo(TsCore::folderPath(TsCore::User, "bert")).isDir());
    EXPECT_TRUE(TsCore::users().contains("bob"));
    TsCore::instance()->reloadUsers();
    EXPECT_EQ(TsCore::users(), QStringList({"anna", "bert", "cid"}));

    ASSERT_TRUE(TsCore::renameUser("cid", QString()).isSuccess());
    EXPECT_FALSE(QFileInfo::exists(TsCore::folderPath(TsCore::User, "cid")));
    EXPECT_EQ(TsCore::currentUser(), "anna");

    SignalLog log;
    ASSERT_TRUE(TsCore::renameUser("anna", QString()).isSuccess());
    EXPECT_FALSE(QFileInfo::exists(TsCore::folderPath(TsCore::User, "anna")));
    EXPECT_TRUE(TsCore::currentUser().isEmpty());
    EXPECT_TRUE(log.take().contains("user()"));
}

TEST_F(TsCoreTest, DeletingAUserNeverReachesOutsideTheUsersFolder)
{
    // Precious data outside the data root.
    QDir().mkpath(outside() + "/precious");
    touch(outside() + "/precious/result.csv");
    const QString users = TsCore::folderPath(TsCore::Users);
    QDir().mkpath(users);

    // A user folder that is a link to somewhere else.
    ASSERT_TRUE(QFile::link(outside() + "/precious", users + "/linked"));
    // A real user folder holding a link to the outside.
    makeUser("ann");
    ASSERT_TRUE(QFile::link(outside() + "/precious",
                            TsCore::folderPath(TsCore::User, "ann") + "/Log Data/results"));
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::users().contains("linked"));

    EXPECT_TRUE(TsCore::renameUser("linked", QString()).isError());
    EXPECT_TRUE(TsCore::renameUser("linked", "other").isError());
    EXPECT_TRUE(QFileInfo::exists(outside() + "/precious/result.csv"));
    EXPECT_TRUE(QFileInfo(users + "/linked").isSymLink());

    ASSERT_TRUE(TsCore::renameUser("ann", QString()).isSuccess());
    EXPECT_FALSE(QFileInfo::exists(TsCore::folderPath(TsCore::User, "ann")));
    EXPECT_TRUE(QFileInfo::exists(outside() + "/precious/result.csv"))
        << "a link inside a user folder is removed, not followed";
}

TEST_F(TsCoreTest, RenamingAUserCannotMoveItOutOfTheUsersFolder)
{
    makeUser("ann");
    TsCore::instance()->reloadUsers();
    for (const QString &name :
         {QStringLiteral("../ann"), QStringLiteral("../../escaped"), QStringLiteral(".."),
          QStringLiteral("sub/ann"), QStringLiteral("..\\x")}) {
        EXPECT_TRUE(TsCore::renameUser("ann", name).isError()) << qPrintable(name);
    }
    EXPECT_TRUE(QFileInfo(TsCore::folderPath(TsCore::User, "ann")).isDir());
    EXPECT_FALSE(QFileInfo::exists(TsCore::dataRoot() + "/ann"));
    EXPECT_FALSE(QFileInfo::exists(testHome() + "/data/escaped"));
}

TEST_F(TsCoreTest, OnlyFilesTheProgramCanOpenAreListed)
{
    // Names are opened with the suffix written in lower case: where case matters, "X.TSP" could
    // be neither loaded nor deleted, so it is not offered; "Y" is offered once.
    makeUser("ann", {"Y"}, {"Z"});
    const QString profiles = TsCore::folderPath(TsCore::Profiles, "ann");
    touch(profiles + "/X.TSP");
    touch(profiles + "/Y.Tsp");
    touch(TsCore::folderPath(TsCore::DynamicExperiments, "ann") + "/W.TSX");
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());

    const bool caseSensitive = !QFileInfo::exists(profiles + "/x.tsp");
    if (caseSensitive) {
        EXPECT_EQ(TsCore::profiles(), QStringList({"Y"}));
        EXPECT_EQ(TsCore::dynamicExps(), QStringList({"Z"}));
    } else {
        EXPECT_EQ(TsCore::profiles(), QStringList({"X", "Y"}));
    }
    for (const QString &name : TsCore::profiles()) {
        EXPECT_TRUE(QFileInfo(TsCore::profileFile("ann", name)).isFile()) << qPrintable(name);
        EXPECT_TRUE(TsCore::setCurrentProfile(name).isSuccess());
    }
    ASSERT_TRUE(TsCore::renameProfile("Y", QString()).isSuccess());
    EXPECT_FALSE(QFileInfo::exists(profiles + "/Y.tsp"));
}

TEST_F(TsCoreTest, RenameAndDeleteProfiles)
{
    makeUser("ann", {"p1", "p2", "p3"});
    TsCore::instance()->reloadUsers();
    ASSERT_TRUE(TsCore::setCurrentUser("ann").isSuccess());
    ASSERT_TRUE(TsCore::setCurrentProfile("p1").isSuccess());

    EXPECT_TRUE(TsCore::renameProfile("p1", "p2").isError());
    EXPECT_TRUE(TsCore::renameProfile("p9", "p8").isError());
    EXPECT_TRUE(TsCore::renameProfile("p1", "../p1").isError());
    EXPECT_TRUE(QFileInfo::exists(TsCore::profileFile("ann", "p1")));
    EXPECT_TRUE(QFileInfo::exists(TsCore::profileFile("ann", "p2")));

    ASSERT_TRUE(TsCore::renameProfile("p1", "first").isSuccess());
    EXPECT_FALSE(QFileInfo::exists(TsCore::profileFile("ann", "p1")));
    EXPECT_TRUE(QFileInfo::exists(TsCore::profileFile("ann", "first")));
    EXPECT_EQ(TsCore::currentProfile(), "first") << "the current profile follows its new name";
    EXPECT_EQ(TsCore::profiles(), QStringList({"first", "p2", "p3"}));

    ASSERT_TRUE(TsCore::renameProfile("p3", QString()).isSuccess());
    EXPECT_FALSE(QFileInfo::exists(TsCore::profileFile("ann", "p3")));
    EXPECT_EQ(TsCore::currentProfile(), "first");

    SignalLog log;
    ASSERT_TRUE(TsCore::renameProfile("first", QString()).isSuccess());
    EXPECT_EQ(log.take(), QStringList({"profile()"}));
    EXPECT_TRUE(TsCore::currentProfile().isEmpty());
}

TEST_F(TsCoreTest, OwnsTheDeviceManager)
{
    TsDeviceManager *devices = TsCore::deviceManager();
    ASSERT_NE(devices, nullptr);
    EXPECT_EQ(devices->parent(), TsCore::instance());
    EXPECT_EQ(TsCore::deviceManager(), devices) << "one for the life of the core";
}

TEST_F(TsCoreTest, ViewRegistryAndApplyValues)
{
    EXPECT_TRUE(TsCore::applyValues());
    TsCore::setApplyValues(false);
    EXPECT_FALSE(TsCore::applyValues());
    TsCore::setApplyValues(true);

    auto *channels = new QWidget;
    QWidget recorder;
    TsCore::setViews({"channels", "recorder"}, {{"channels", channels}, {"recorder", &recorder}});
    EXPECT_EQ(TsCore::viewNames(), QStringList({"channels", "recorder"}));
    EXPECT_EQ(TsCore::view("channels"), channels);
    EXPECT_EQ(TsCore::view("recorder"), &recorder);
    EXPECT_EQ(TsCore::view("Channels"), nullptr);
    // The core does not own the views; one that went away is no longer handed out.
    delete channels;
    EXPECT_EQ(TsCore::view("channels"), nullptr);
    EXPECT_EQ(TsCore::view("recorder"), &recorder);

    TsCore::setViews({"dynamic"}, {});
    EXPECT_EQ(TsCore::viewNames(), QStringList({"dynamic"}));
    EXPECT_EQ(TsCore::view("recorder"), nullptr) << "the registry is replaced, not extended";
}

TEST_F(TsCoreTest, WebInterfaceIsOwnedStaysDownAndArmsTheMailersAlert)
{
    TsWebInterfaceManager *web = TsCore::webInterfaceManager();
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->parent(), TsCore::instance());
    EXPECT_FALSE(web->isRunning()) << "no web server without autoStart";
    EXPECT_TRUE(web->runtimeDir().isEmpty());

    // Without a configuration template nginx cannot come up; the responder still listens, and a
    // browser's PUT reaches the mailer manager's switch.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    const QString previousDir = web->webServerDir();
    const TsWebInterfaceSettings previous = web->settings();
    TsWebInterfaceSettings settings = previous;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    settings.fcgiPort = probe.serverPort();
    probe.close();
    web->setSettings(settings);
    web->setWebServerDir(empty.path());
    web->start();
    EXPECT_FALSE(web->isRunning());

    TsMailerManager *mailer = TsCore::mailerManager();
    mailer->setEmailAlert(false);
    {
        fcgitest::Client client(settings.fcgiPort);
        client.send(fcgitest::simpleRequest(
            1, {{"SCRIPT_NAME", "/ts/emailalert.cgi"}, {"REQUEST_METHOD", "PUT"}}));
        const QList<fcgitest::Record> records = client.readUntilEnd(1);
        ASSERT_FALSE(records.isEmpty());
    }
    EXPECT_TRUE(mailer->isEmailAlertOn());
    mailer->setEmailAlert(false);
    web->setWebServerDir(previousDir);
    web->setSettings(previous);
}

} // namespace
