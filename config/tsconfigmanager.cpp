#include "config/tsconfigmanager.h"

#include "config/tsstyle.h"

#include "device/tsdevicechannel.h"
#include "device/tsdevicemanager.h"
#include "experiment/tsexperiment.h"
#include "experiment/tsexperimentmanager.h"
#include "experiment/tsexperimentrecorder.h"
#include "experiment/tsexperimentscript.h"
#include "tscore.h"
#include "utils/xmlfile.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFileInfo>
#include <QTimer>
#include <QXmlStreamWriter>

#include <cmath>

namespace {

template <typename T>
T lookUp(const QMap<int, T> &levels, int level, const T &fallback)
{
    for (int l = level; l >= 0; --l) {
        auto it = levels.constFind(l);
        if (it != levels.constEnd())
            return it.value();
    }
    return fallback;
}

QString childName(const QDomElement &root, const QString &tag)
{
    return root.firstChildElement(tag).attribute(QStringLiteral("name"));
}

} // namespace

TsConfigManager::TsConfigManager(TsExperimentManager *experiments, TsDeviceManager *devices,
                                 TsCore *core)
    : QObject(core)
    , m_experiments(experiments)
    , m_devices(devices)
{
    if (core) {
        connect(core, &TsCore::currentUserChanged, this, &TsConfigManager::onCurrentUserChanged,
                Qt::DirectConnection);
        connect(core, &TsCore::userDataChanged, this, &TsConfigManager::reloadUserData,
                Qt::DirectConnection);
        connect(core, &TsCore::currentProfileChanged, this,
                &TsConfigManager::onCurrentProfileChanged, Qt::DirectConnection);
        connect(core, &TsCore::currentDynamicExpChanged, this,
                &TsConfigManager::onDynamicExpChanged, Qt::DirectConnection);
    }
    QTimer::singleShot(LoadDelay, this, &TsConfigManager::loadSettings);
}

TsConfigManager::~TsConfigManager()
{
    saveSettings();
}

TsUserSettings TsConfigManager::userSettings() const
{
    return m_userSettings;
}

TsProfile TsConfigManager::profile() const
{
    return m_profile;
}

QString TsConfigManager::lastProfileName() const
{
    return m_lastProfileName;
}

TsRecorderCSVSettings TsConfigManager::csvSettings(int level) const
{
    return lookUp(m_csvLevels, level, TsRecorderCSVSettings());
}

TsRecorderLogSettings TsConfigManager::logSettings(int level) const
{
    return lookUp(m_logLevels, level, TsRecorderLogSettings());
}

QString TsConfigManager::logFilePrefix(int level) const
{
    return lookUp(m_prefixLevels, level, QString());
}

void TsConfigManager::setCsvSettings(int level, const TsRecorderCSVSettings &value)
{
    m_csvLevels.insert(level, value);
}

void TsConfigManager::setLogSettings(int level, const TsRecorderLogSettings &value)
{
    m_logLevels.insert(level, value);
}

void TsConfigManager::setLogFilePrefix(int level, const QString &value)
{
    m_prefixLevels.insert(level, value);
}

void TsConfigManager::removeCsvSettings(int level)
{
    m_csvLevels.remove(level);
}

void TsConfigManager::removeLogSettings(int level)
{
    m_logLevels.remove(level);
}

void TsConfigManager::removeLogFilePrefix(int level)
{
    m_prefixLevels.remove(level);
}

bool TsConfigManager::hasCsvSettings(int level) const
{
    return m_csvLevels.contains(level);
}

bool TsConfigManager::hasLogSettings(int level) const
{
    return m_logLevels.contains(level);
}

bool TsConfigManager::hasLogFilePrefix(int level) const
{
    return m_prefixLevels.contains(level);
}

void TsConfigManager::reportFileError(const QString &message)
{
    qDebug("TsConfigManager: %s", qPrintable(message));
    emit fileError(message);
}

void TsConfigManager::keepDamaged(const QString &path, const QString &why)
{
    const QString kept = Utils::XmlFile::keepDamaged(path);
    if (kept.isEmpty()) {
        reportFileError(tr("'%1' cannot be read (%2) and could not be moved aside.")
                            .arg(QDir::toNativeSeparators(path), why));
    } else {
        reportFileError(
            tr("'%1' cannot be read (%2); it was kept as '%3' and a fresh one will be "
               "written.")
                .arg(QDir::toNativeSeparators(path), why, QDir::toNativeSeparators(kept)));
    }
}

void TsConfigManager::loadSettings()
{
    const QString path = TsCore::settingsFile();
    qDebug("TsConfigManager::loadSettings: %s", qPrintable(path));

    QDomDocument document;
    Utils::XmlFile::ParseError parseError;
    parseError.line = -1;
    const QxResult read = Utils::XmlFile::read(path, &document, &parseError);
    if (read.isError()) {
        if (parseError.line >= 0) {
            qDebug("TsConfigManager::loadSettings: %s (line=%d column=%d)",
                   qPrintable(parseError.message), parseError.line, parseError.column);
            // Saved at exit, a fresh file would otherwise replace it without a word.
            keepDamaged(path, tr("%1 (line %2, column %3)")
                                  .arg(parseError.message)
                                  .arg(parseError.line)
                                  .arg(parseError.column));
        }
        return;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("TsSettings")) {
        qDebug("TsConfigManager::loadSettings: invalid root tag");
        keepDamaged(path, tr("its root element is not \"TsSettings\""));
        return;
    }
    const QString lastUser = childName(root, QStringLiteral("LastUser"));
    const QString lastProfile = childName(root, QStringLiteral("LastProfile"));
    const QString lastDynamicExp = childName(root, QStringLiteral("LastDynamicExperiment"));

    TsCore::setCurrentUser(lastUser);
    TsCore::setApplyValues(m_userSettings.flags() & TsUserSettings::ApplyValuesOnStart);
    TsCore::setCurrentProfile(lastProfile);
    TsCore::setApplyValues(true);
    TsCore::setCurrentDynamicExp(lastDynamicExp);
}

QxResult TsConfigManager::saveSettings()
{
    const QString user = TsCore::currentUser();
    const QString profile = TsCore::currentProfile();
    const QString dynamicExp = TsCore::currentDynamicExp();
    TsCore::makeUserFolders(QString());
    const QString path = TsCore::settingsFile();
    const QxResult result = Utils::XmlFile::save(path, [&](QXmlStreamWriter &writer) {
        writer.writeStartElement(QStringLiteral("TsSettings"));
        writer.writeStartElement(QStringLiteral("LastUser"));
        writer.writeAttribute(QStringLiteral("name"), user);
        writer.writeEndElement();
        writer.writeStartElement(QStringLiteral("LastProfile"));
        writer.writeAttribute(QStringLiteral("name"), profile);
        writer.writeEndElement();
        writer.writeStartElement(QStringLiteral("LastDynamicExperiment"));
        writer.writeAttribute(QStringLiteral("name"), dynamicExp);
        writer.writeEndElement();
        writer.writeEndElement();
        return true;
    });
    if (result.isSuccess()) {
        qDebug("TsConfigManager::saveSettings: successful");
    } else {
        reportFileError(
            tr("The settings could not be saved to '%1': %2")
                .arg(QDir::toNativeSeparators(path), result.toString(QStringLiteral(": "))));
    }
    return result;
}

void TsConfigManager::onCurrentUserChanged(const QString &user)
{
    qDebug("TsConfigManager: new user '%s'", qPrintable(user));
    m_prefixLevels.clear();
    m_logLevels.clear();
    m_csvLevels.clear();
    reloadUserData(user);
}

void TsConfigManager::reloadUserData(const QString &user)
{
    if (!user.isEmpty() && user != TsCore::currentUser())
        return;
    qDebug("TsConfigManager: reload user data '%s'", qPrintable(user));
    m_userSettings = TsUserSettings();
    if (!user.isEmpty()) {
        const QString file = TsCore::userDataFile(user);
        if (!file.isEmpty() && QFileInfo::exists(file)) {
            const QxResult loaded = m_userSettings.load(file);
            // A file that opens but does not read as user settings is damaged; one that cannot be
            // opened (rights) is left alone and only said.
            if (loaded.isError()) {
                m_userSettings = TsUserSettings();
                const QFileInfo info(file);
                if (info.isFile() && info.isReadable() && QFile(file).open(QIODevice::ReadOnly))
                    keepDamaged(file, loaded.message());
                else
                    reportFileError(loaded.message());
            }
        }
    }
    m_csvLevels.insert(UserLevel, m_userSettings.csvSettings());
    loadStyle(m_userSettings.style() != 0);

    // The recorder writes relative prefixes into the current user's log path; the
    // user's "Log Data" folder stands in while the settings name none.
    if (TsExperiment *experiment = m_experiments ? m_experiments->currentExperiment() : nullptr) {
        QString folder = m_userSettings.logPath();
        if (folder.isEmpty() && !user.isEmpty())
            folder = TsCore::folderPath(TsCore::LogData, user);
        experiment->recorder()->setLogFolder(folder);
    }
}

void TsConfigManager::onCurrentProfileChanged(const QString &name)
{
    qDebug("TsConfigManager: new profile '%s'", qPrintable(name));
    m_profile = TsProfile();
    m_csvLevels.remove(ProfileLevel);
    m_logLevels.remove(ProfileLevel);
    m_prefixLevels.remove(ProfileLevel);
    if (!name.isEmpty() && name != m_lastProfileName) {
        m_csvLevels.remove(TemporaryLevel);
        m_logLevels.remove(TemporaryLevel);
        m_prefixLevels.remove(TemporaryLevel);
        m_lastProfileName = name;
    }
    if (!name.isEmpty()) {
        const QString file = TsCore::profileFile(TsCore::currentUser(), name);
        if (!file.isEmpty()) {
            // The file stays as it is: the operator may repair it, and the profile editor saves
            // only what it was given.
            const QxResult loaded = m_profile.load(file);
            if (loaded.isError()) {
                m_profile = TsProfile();
                const QString fileName = QFileInfo(file).fileName();
                const QString message = loaded.message();
                reportFileError(
                    message.contains(fileName)
                        ? message
                        : tr("The profile '%1' cannot be read: %2").arg(fileName, message));
            }
        }
        if (m_profile.csvSettings().isEnabled())
            m_csvLevels.insert(ProfileLevel, m_profile.csvSettings());
        m_logLevels.insert(ProfileLevel, m_profile.logSettings());
        if (m_profile.logFilePrefix().isEmpty())
            m_prefixLevels.remove(ProfileLevel);
        else
            m_prefixLevels.insert(ProfileLevel, m_profile.logFilePrefix());
    }

    if (m_experiments) {
        if (TsExperiment *experiment = m_experiments->currentExperiment())
            experiment->setProfile(m_profile);
    }

    if (TsCore::applyValues() && m_devices) {
        const QList<TsProfile::Channel> channels = m_profile.channels();
        for (const TsProfile::Channel &entry : channels) {
            TsDeviceChannel *channel = m_devices->channel(entry.id);
            if (!channel || entry.unit.isEmpty())
                continue;
            // An unknown setpoint (none stored) leaves the controller's own.
            if (!std::isnan(entry.setpoint))
                channel->setValue(TsDeviceChannel::SetpointValue, entry.setpoint);
            channel->setValue(TsDeviceChannel::LoopControl, entry.control);
        }
    }
}

void TsConfigManager::onDynamicExpChanged(const QString &name)
{
    qDebug("TsConfigManager: new dynexp '%s'", qPrintable(name));
    const QString path =
        name.isEmpty() ? QString() : TsCore::dynamicExpFile(TsCore::currentUser(), name);
    TsExperiment *experiment = m_experiments ? m_experiments->currentExperiment() : nullptr;
    TsExperimentScript *script = experiment ? experiment->script() : nullptr;
    if (!script)
        return;
    script->clear();
    if (!path.isEmpty()) {
        script->load(path);
        script->setName(name);
    }
}
