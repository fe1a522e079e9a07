#include "tscore.h"

#include "config/tsconfigmanager.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsalarmjournal.h"
#include "experiment/tsalarmmonitor.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentscript.h"
#include "experiment/tsexperimentscriptactionchannelbase.h"
#include "mailer/tsmailermanager.h"
#include "webinterface/tspublicaddress.h"
#include "webinterface/tswebinterfacemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace {

TsCore *s_instance = nullptr;

void sortByLocale(QStringList &names)
{
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.localeAwareCompare(b) < 0; });
}

QString computeDataRoot()
{
    QSettings settings;
    QString dataPath = settings.value(QStringLiteral("dataPath")).toString().trimmed();
    if (dataPath.isEmpty()) {
        dataPath = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0);
        // Without a Documents folder the data would land in the file system's root.
        if (dataPath.isEmpty())
            dataPath = QDir::homePath();
        settings.setValue(QStringLiteral("dataPath"), dataPath);
    }
    return QDir::cleanPath(QFileInfo(dataPath + QStringLiteral("/Tessaro")).absoluteFilePath());
}

// A name that can only ever be one entry inside its folder.
bool isSingleEntryName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

// Links and ".." resolved; empty when the path does not exist.
QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

class TsCore::Private
{
public:
    // The managers, each with the core as parent, created in this order: device, experiment,
    // configuration, mailer, web interface; the destructor removes them in reverse order.
    TsDeviceManager *deviceManager = nullptr;
    TsExperimentManager *experimentManager = nullptr;
    TsConfigManager *configManager = nullptr;
    TsMailerManager *mailerManager = nullptr;
    TsWebInterfaceManager *webInterfaceManager = nullptr;
    TsAlarmJournal *alarmJournal = nullptr;

    QString currentUser;
    QStringList users;
    QString currentProfile;
    QStringList profiles;
    QString currentDynamicExp;
    QStringList dynamicExps;
    bool applyValues = true;
};

TsCore::TsCore(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    d->deviceManager = new TsDeviceManager(this);
    d->experimentManager = new TsExperimentManager(d->deviceManager, this);
    d->configManager = new TsConfigManager(d->experimentManager, d->deviceManager, this);
    // Follows the current experiment's alarm and serves as its alert switch.
    d->mailerManager = new TsMailerManager(d->experimentManager, this);
    d->mailerManager->setAlertContextProvider([this] {
        TsMailerManager::AlertContext context;
        context.userName = d->currentUser;
        context.userEmail = d->configManager->userSettings().email();
        context.profileName = d->currentProfile;
        if (d->webInterfaceManager) {
            const TsWebInterfaceSettings web = d->webInterfaceManager->settings();
            context.httpPublicUrl = tsPublicAddress(web.publicUrl, web.httpPort);
            context.httpServerName = web.serverName;
        }
        return context;
    });
    // nginx comes up only by its own "autoStart" setting (or an explicit start): constructing the
    // core never starts a web server by itself.
    d->webInterfaceManager = new TsWebInterfaceManager(this);
    // A browser may arm the same one-shot alert the desktop shows.
    d->webInterfaceManager->setEmailAlertSwitch(d->mailerManager);
    // The alarms of every experiment go to the current user's journal.
    d->alarmJournal = new TsAlarmJournal(this);
    const auto journalExperiment = [this](TsExperiment *experiment) {
        if (!experiment)
            return;
        experiment->alarmMonitor()->setJournal(d->alarmJournal);
        // A script step that missed its controller is what an operator looks for in the morning
        // beside the alarms of the night.
        const auto journalStep = [this](const char *event) {
            return [this, event](const TsExperimentScriptAction *action, const QString &message) {
                TsAlarmJournal::Entry entry;
                entry.channel =
                    action->parameter(TsExperimentScriptActionChannelBase::ChannelIdParameter)
                        .toString();
                entry.event = QString::fromLatin1(event);
                entry.details = message;
                d->alarmJournal->append(entry);
            };
        };
        connect(experiment->script(), &TsExperimentScript::actionFailed, d->alarmJournal,
                journalStep(TsAlarmJournal::EventStepFailed));
        connect(experiment->script(), &TsExperimentScript::actionReapplied, d->alarmJournal,
                journalStep(TsAlarmJournal::EventStepLate));
    };
    journalExperiment(d->experimentManager->currentExperiment());
    connect(d->experimentManager, &TsExperimentManager::currentExperimentChanged, this,
            journalExperiment);
    connect(this, &TsCore::currentUserChanged, this, [this](const QString &name) {
        const QString folder = folderPath(User, name);
        d->alarmJournal->setPath(folder.isEmpty() ? QString()
                                                  : folder + QLatin1Char('/') +
                                                        QLatin1String(TsAlarmJournal::FileName));
    });
    d->applyValues = true;
    reloadUsers();
}

TsCore::~TsCore()
{
    // Reverse order of creation; later managers may still use earlier ones while they go. The
    // configuration manager saves "Settings.xml" as it goes. nginx goes first, while everything
    // its pages are answered from still exists.
    delete d->webInterfaceManager;
    d->webInterfaceManager = nullptr;
    delete d->mailerManager;
    d->mailerManager = nullptr;
    delete d->configManager;
    d->configManager = nullptr;
    delete d->experimentManager;
    d->experimentManager = nullptr;
    delete d->deviceManager;
    d->deviceManager = nullptr;
}

void TsCore::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

TsCore *TsCore::instance()
{
    if (!s_instance) {
        s_instance = new TsCore;
        // The managers stop timers and save files when they go; that needs the application
        // object still in place, so the core goes as the application object is destroyed.
        if (QCoreApplication::instance())
            qAddPostRoutine(destroyInstance);
        else
            qWarning("TsCore::instance: created without an application object");
    }
    return s_instance;
}

TsDeviceManager *TsCore::deviceManager()
{
    return instance()->d->deviceManager;
}

TsExperimentManager *TsCore::experimentManager()
{
    return instance()->d->experimentManager;
}

TsConfigManager *TsCore::configManager()
{
    return instance()->d->configManager;
}

TsMailerManager *TsCore::mailerManager()
{
    return instance()->d->mailerManager;
}

TsWebInterfaceManager *TsCore::webInterfaceManager()
{
    return instance()->d->webInterfaceManager;
}

TsAlarmJournal *TsCore::alarmJournal()
{
    return instance()->d->alarmJournal;
}

QString TsCore::currentUser()
{
    return instance()->d->currentUser;
}

QStringList TsCore::users()
{
    return instance()->d->users;
}

QString TsCore::currentProfile()
{
    return instance()->d->currentProfile;
}

QStringList TsCore::profiles()
{
    return instance()->d->profiles;
}

QString TsCore::currentDynamicExp()
{
    return instance()->d->currentDynamicExp;
}

QStringList TsCore::dynamicExps()
{
    return instance()->d->dynamicExps;
}

QxResult TsCore::setCurrentUser(const QString &name)
{
    return instance()->doSetCurrentUser(name);
}

QxResult TsCore::setCurrentProfile(const QString &name)
{
    return instance()->doSetCurrentProfile(name);
}

QxResult TsCore::setCurrentDynamicExp(const QString &name)
{
    return instance()->doSetCurrentDynamicExp(name);
}

void TsCore::notifyUserDataChanged(const QString &name)
{
    TsCore *core = instance();
    if (!name.isEmpty() && core->d->users.contains(name))
        emit core->userDataChanged(name);
}

void TsCore::setApplyValues(bool apply)
{
    instance()->d->applyValues = apply;
}

bool TsCore::applyValues()
{
    return instance()->d->applyValues;
}

QxResult TsCore::renameUser(const QString &oldName, const QString &newName)
{
    return instance()->doRenameUser(oldName, newName);
}

QxResult TsCore::renameProfile(const QString &oldName, const QString &newName)
{
    return instance()->doRenameProfile(oldName, newName);
}

QString TsCore::dataRoot()
{
    static const QString root = computeDataRoot();
    return root;
}

QString TsCore::folderPath(FolderKind kind, const QString &user)
{
    QString path;
    switch (kind) {
    case Root:
        path = dataRoot();
        break;
    case Users:
        path = dataRoot() + QStringLiteral("/Users");
        break;
    case User:
    case Profiles:
    case LogData:
    case DynamicExperiments: {
        if (user.isEmpty())
            return QString();
        path = dataRoot() + QStringLiteral("/Users/") + user;
        if (kind == Profiles)
            path += QStringLiteral("/Profiles");
        else if (kind == LogData)
            path += QStringLiteral("/Log Data");
        else if (kind == DynamicExperiments)
            path += QStringLiteral("/Dynamic Experiments");
        break;
    }
    default:
        return QString();
    }
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString TsCore::settingsFile()
{
    return dataRoot() + QStringLiteral("/Settings.xml");
}

bool TsCore::makeUserFolders(const QString &user)
{
    if (user.isEmpty())
        return QDir().mkpath(folderPath(Users));
    bool ok = true;
    for (FolderKind kind : {User, Profiles, LogData, DynamicExperiments}) {
        // Every folder is attempted, even after a failure.
        if (!QDir().mkpath(folderPath(kind, user)))
            ok = false;
    }
    return ok;
}

QString TsCore::userDataFile(const QString &user)
{
    const QString folder = folderPath(User, user);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QString();
    return folder + QStringLiteral("/Userdata.xml");
}

QString TsCore::profileFile(const QString &user, const QString &name)
{
    const QString folder = folderPath(Profiles, user);
    if (folder.isEmpty() || name.isEmpty())
        return QString();
    return folder + QLatin1Char('/') + name + QStringLiteral(".tsp");
}

QString TsCore::dynamicExpFile(const QString &user, const QString &name)
{
    const QString folder = folderPath(DynamicExperiments, user);
    if (folder.isEmpty() || name.isEmpty())
        return QString();
    return folder + QLatin1Char('/') + name + QStringLiteral(".tsx");
}

QStringList TsCore::listBaseNames(FolderKind kind, const QString &pattern)
{
    const QString folder = folderPath(kind, currentUser());
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QStringList();
    // A name is opened as the name plus the pattern's suffix, written as the pattern writes it.
    // Where file names are case-sensitive, "X.TSP" matches the pattern but "X.tsp" is not there:
    // listed, it could be neither loaded nor deleted. Where they are not, both are the same file.
    const QString suffix = pattern.mid(pattern.indexOf(QLatin1Char('.')));
    QStringList names;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QStringList(pattern), QDir::Files | QDir::Readable);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.completeBaseName();
        if (!names.contains(name) && QFileInfo(folder + QLatin1Char('/') + name + suffix).isFile())
            names.append(name);
    }
    sortByLocale(names);
    return names;
}

void TsCore::reloadUsers()
{
    makeUserFolders(QString());
    QStringList names =
        QDir(folderPath(Users)).entryList(QDir::Dirs | QDir::Readable | QDir::NoDotAndDotDot);
    sortByLocale(names);
    if (names == d->users)
        return;
    d->users = names;
    emit availableUsersChanged();
    if (!d->currentUser.isEmpty() && !d->users.contains(d->currentUser))
        doSetCurrentUser(QString());
}

void TsCore::reloadProfiles()
{
    const QString remembered = d->currentProfile;
    doSetCurrentProfile(QString());
    const QStringList names = listBaseNames(Profiles, QStringLiteral("*.tsp"));
    if (names != d->profiles) {
        d->profiles = names;
        emit availableProfilesChanged();
    }
    doSetCurrentProfile(remembered);
}

void TsCore::reloadDynamicExps()
{
    const QString remembered = d->currentDynamicExp;
    doSetCurrentDynamicExp(QString());
    const QStringList names = listBaseNames(DynamicExperiments, QStringLiteral("*.tsx"));
    if (names != d->dynamicExps) {
        d->dynamicExps = names;
        emit availableDynamicExpsChanged();
    }
    doSetCurrentDynamicExp(remembered);
}

QxResult TsCore::doSetCurrentUser(const QString &requested)
{
    if (requested == d->currentUser)
        return QxResult::success();

    doSetCurrentProfile(QString());
    doSetCurrentDynamicExp(QString());

    QString name = requested;
    QxResult result;
    if (!name.isEmpty() && !d->users.contains(name)) {
        result = QxResult(tr("User '%1' does not exist").arg(name));
        name.clear();
    }
    if (!name.isEmpty())
        makeUserFolders(name);

    d->currentUser = name;
    emit currentUserChanged(name);

    reloadProfiles();
    reloadDynamicExps();
    return result;
}

QxResult TsCore::doSetCurrentProfile(const QString &name)
{
    if (!name.isEmpty() && !d->profiles.contains(name))
        return QxResult(tr("Profile '%1' does not exist").arg(name));
    d->currentProfile = name;
    emit currentProfileChanged(name);
    return QxResult::success();
}

QxResult TsCore::doSetCurrentDynamicExp(const QString &name)
{
    if (name == d->currentDynamicExp)
        return QxResult::success();
    if (!name.isEmpty() && !d->dynamicExps.contains(name))
        return QxResult(tr("Dynamic experiment '%1' does not exist").arg(name));
    d->currentDynamicExp = name;
    emit currentDynamicExpChanged(name);
    return QxResult::success();
}

QxResult TsCore::doRenameUser(const QString &oldName, const QString &newName)
{
    qDebug("TsCore::renameUser: '%s' -> '%s'", qPrintable(oldName), qPrintable(newName));

    if (oldName.isEmpty() || !d->users.contains(oldName))
        return QxResult::failure();
    if (!newName.isEmpty() && d->users.contains(newName))
        return QxResult::failure();

    const QString oldFolder = folderPath(User, oldName);
    if (!QFileInfo(oldFolder).isDir())
        return QxResult::failure();

    const QString usersFolder = folderPath(Users);
    if (usersFolder.isEmpty() || !usersFolder.contains(QLatin1String("Tessaro")) ||
        !QFileInfo(usersFolder).isDir() || !oldFolder.startsWith(usersFolder)) {
        return QxResult::failure();
    }

    // The textual checks above cannot see links or "..": the user folder itself, or the Users
    // folder, may be a link to somewhere else. Only a real folder directly inside the real Users
    // folder may be touched.
    const QString realUsers = canonical(usersFolder);
    const QFileInfo oldInfo(oldFolder);
    if (realUsers.isEmpty() || !isSingleEntryName(oldName) || oldInfo.isSymLink() ||
        canonical(oldInfo.absolutePath()) != realUsers ||
        canonical(oldFolder) != realUsers + QLatin1Char('/') + oldName) {
        qWarning("TsCore::renameUser: '%s' is not a folder inside '%s'", qPrintable(oldFolder),
                 qPrintable(usersFolder));
        return QxResult::failure();
    }

    if (!newName.isEmpty()) {
        const QString newFolder = folderPath(User, newName);
        if (!isSingleEntryName(newName) || QFileInfo::exists(newFolder) ||
            !newFolder.startsWith(usersFolder) ||
            canonical(QFileInfo(newFolder).absolutePath()) != realUsers) {
            return QxResult::failure();
        }
        QDir users(realUsers);
        users.rename(oldName, newName);
        if (oldName == d->currentUser) {
            reloadUsers();
            doSetCurrentUser(newName);
        }
        return QxResult(users.exists(newName));
    }

    if (!QDir(realUsers + QLatin1Char('/') + oldName).removeRecursively())
        return QxResult::failure();
    if (oldName == d->currentUser)
        doSetCurrentUser(QString());
    return QxResult::success();
}

QxResult TsCore::doRenameProfile(const QString &oldName, const QString &newName)
{
    qDebug("TsCore::renameProfile: '%s' -> '%s'", qPrintable(oldName), qPrintable(newName));

    if (oldName.isEmpty() || !d->profiles.contains(oldName))
        return QxResult::failure();
    if (!newName.isEmpty() && d->profiles.contains(newName))
        return QxResult::failure();

    const QString oldFile = profileFile(d->currentUser, oldName);
    if (oldFile.isEmpty() || !QFileInfo::exists(oldFile))
        return QxResult::failure();

    if (!newName.isEmpty()) {
        // A name with a folder in it would move the profile out of the user's Profiles folder.
        const QString newFile = profileFile(d->currentUser, newName);
        if (!isSingleEntryName(newName) || QFileInfo::exists(newFile) ||
            QFileInfo(newFile).absolutePath() != QFileInfo(oldFile).absolutePath()) {
            return QxResult::failure();
        }
        if (!QFile::rename(oldFile, newFile))
            return QxResult::failure();
        // Without the new name in the list the current profile could not follow it and would
        // be left naming a file that no longer exists.
        const bool wasCurrent = oldName == d->currentProfile;
        reloadProfiles();
        if (wasCurrent)
            doSetCurrentProfile(newName);
        return QxResult::success();
    }

    if (!QFile::remove(oldFile))
        return QxResult::failure();
    if (oldName == d->currentProfile)
        doSetCurrentProfile(QString());
    return QxResult::success();
}
