#include "tsdevicemanager.h"

#include "devicespec.h"
#include "tsdevicechannel.h"
#include "tsspecparser.h"
#include "tsvarondevice.h"

#include "zdx7000/zdx7000.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QScopedValueRollback>
#include <QSet>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

const char OpenFailedProperty[] = "openFailed";

// A controller as one enumeration lists it.
struct PresentController
{
    QString description;
    int vendorId = 0;
    int productId = 0;
    // Why the library cannot open it (no permission to its device node), from the library.
    QString accessProblem;
};

} // namespace

struct TsDeviceManager::Private
{
    QMap<QString, TsDevice *> devices;
    // Guarded, so that a channel deleted behind the manager's back resolves to null, not garbage.
    QHash<QString, QPointer<TsDeviceChannel>> channelIndex;
    QHash<QString, TsDevice *> pending;
    QSet<QString> givenUp;
    // Controllers whose link was lost while they stayed attached, with the failed attempts to
    // open them again. They are never given up: a controller that stops answering for a while
    // (switched off, a firmware hang) must come back on its own when it answers again.
    QHash<QString, int> reconnecting;
    // Controllers whose missing permission was reported: once while they stay attached.
    QSet<QString> accessReported;
    std::unique_ptr<DeviceSpecSet> specs = std::make_unique<DeviceSpecSet>();
    // Sets replaced by a later load; devices made from them still point into them.
    std::vector<std::unique_ptr<DeviceSpecSet>> retiredSpecs;
    QString specError;
    qint64 openFailures = 0;
    QTimer *scanTimer = nullptr;
    bool scanning = false;

    void indexChannels(TsDevice *device)
    {
        for (TsDeviceChannel *channel : device->channels())
            channelIndex.insert(channel->id(), channel);
    }

    void unindexChannels(TsDevice *device)
    {
        for (TsDeviceChannel *channel : device->channels())
            channelIndex.remove(channel->id());
    }
};

TsDeviceManager::TsDeviceManager(QObject *parent)
    : QObject(parent)
    , d(new Private)
{
    // Receivers in other threads or signal spies get the pointers through variants.
    qRegisterMetaType<TsDevice *>();
    d->scanTimer = new QTimer(this);
    d->scanTimer->setInterval(ScanInterval);
    connect(d->scanTimer, &QTimer::timeout, this, &TsDeviceManager::populateDevices);
    d->scanTimer->start();
    QTimer::singleShot(FirstScanDelay, this, &TsDeviceManager::populateDevices);
}

TsDeviceManager::~TsDeviceManager()
{
    // The devices point into the device specification, which d owns: they go first.
    qDeleteAll(findChildren<TsDevice *>(QString(), Qt::FindDirectChildrenOnly));
}

QMap<QString, TsDevice *> TsDeviceManager::devices() const
{
    return d->devices;
}

TsDeviceChannel *TsDeviceManager::channel(const QString &id) const
{
    return d->channelIndex.value(id);
}

QString TsDeviceManager::deviceSpecPath(const QString &programDir)
{
    const QString local = QDir(programDir).filePath(QStringLiteral("devicespec.xml"));
    return QFileInfo::exists(local) ? local : TsSpecParser::builtInPath();
}

QxResult TsDeviceManager::loadDeviceSpecs()
{
    return loadDeviceSpecs(deviceSpecPath(QCoreApplication::applicationDirPath()));
}

QxResult TsDeviceManager::loadDeviceSpecs(const QString &path)
{
    TsSpecParser parser;
    const QxResult result = parser.load(path);
    // Devices made from the old set keep pointing into it, so it is kept, not freed.
    d->retiredSpecs.push_back(std::move(d->specs));
    d->specs = std::make_unique<DeviceSpecSet>(parser.takeSpecs());
    d->specError = result.isError() ? result.message() : parser.warnings();
    if (!d->specError.isEmpty())
        qWarning("TsDeviceManager::loadDeviceSpecs: %s: %s", qPrintable(path),
                 qPrintable(d->specError));
    return result;
}

QString TsDeviceManager::deviceSpecError() const
{
    return d->specError;
}

qint64 TsDeviceManager::openFailures() const
{
    return d->openFailures;
}

const DeviceSpecSet &TsDeviceManager::deviceSpecs() const
{
    return *d->specs;
}

const DeviceSpec *TsDeviceManager::specForSerial(const QString &serialNumber) const
{
    return d->specs->findBySerial(serialNumber);
}

void TsDeviceManager::populateDevices()
{
    // A receiver of our signals may run a nested event loop (a message box); the timer must not
    // start a second scan inside this one.
    if (d->scanning)
        return;
    const QScopedValueRollback<bool> guard(d->scanning, true);

    if (ZdxEnumReset() != ZDX_SUCCESS)
        return;
    QMap<QString, PresentController> present;
    ZdxDeviceInfo record{};
    while (ZdxEnumNext(&record) == ZDX_SUCCESS) {
        // The record's texts die with the enumeration: copy them now.
        PresentController controller;
        controller.description = QString::fromLatin1(record.description);
        uint32_t id = 0;
        if (ZdxEnumGetData(&record, ZDX_DATA_VENDOR_ID, &id, sizeof id) == ZDX_SUCCESS)
            controller.vendorId = int(id);
        id = 0;
        if (ZdxEnumGetData(&record, ZDX_DATA_PRODUCT_ID, &id, sizeof id) == ZDX_SUCCESS)
            controller.productId = int(id);
        char problem[256] = {};
        if (ZdxEnumGetData(&record, ZDX_DATA_ACCESS_PROBLEM, reinterpret_cast<uint32_t *>(problem),
                           sizeof problem) == ZDX_SUCCESS)
            controller.accessProblem = QString::fromLocal8Bit(problem);
        present.insert(QString::fromLatin1(record.serialNumber), controller);
    }
    ZdxEnumFree();

    if (present.isEmpty())
        d->givenUp.clear();

    // A controller gone from the list is an ordinary unplug again, should it come back.
    for (auto it = d->reconnecting.begin(); it != d->reconnecting.end();) {
        if (present.contains(it.key()))
            ++it;
        else
            it = d->reconnecting.erase(it);
    }
    for (auto it = d->accessReported.begin(); it != d->accessReported.end();) {
        if (present.contains(*it))
            ++it;
        else
            it = d->accessReported.erase(it);
    }

    QList<TsDevice *> removed;
    for (auto it = d->devices.begin(); it != d->devices.end();) {
        TsDevice *device = it.value();
        const bool lost = device->isConnectionLost();
        if (present.contains(it.key()) && !lost) {
            ++it;
            continue;
        }
        if (lost && present.contains(it.key())) {
            // Dropped like an unplugged one and opened anew below, in this same scan: the
            // experiment keeps its channels by identifier and finds the new ones.
            device->close();
            d->reconnecting.insert(it.key(), 0);
        }
        d->unindexChannels(device);
        if (TsDevice *pending = d->pending.take(it.key()))
            pending->deleteLater();
        removed << device;
        it = d->devices.erase(it);
    }
    for (TsDevice *device : qAsConst(removed)) {
        emit deviceRemoved(device);
        device->deleteLater();
    }

    for (auto it = present.cbegin(); it != present.cend(); ++it) {
        const QString &serial = it.key();
        if (d->givenUp.contains(serial) || d->devices.contains(serial))
            continue;
        // A controller that does not answer blocks each attempt for the read time-out: after the
        // first few, only every few seconds.
        const int reconnectAttempts = d->reconnecting.value(serial, 0);
        if (reconnectAttempts >= ReconnectEveryScan &&
            reconnectAttempts % ReconnectBackOff != ReconnectBackOff - 1) {
            ++d->reconnecting[serial];
            continue;
        }
        const PresentController &controller = it.value();
        const DeviceSpec *spec = d->specs->find(controller.description, controller.vendorId,
                                                controller.productId, serial);
        if (!spec)
            continue;
        TsDevice *device = d->pending.take(serial);
        if (!device) {
            TsDevice::Info info;
            info.serialNumber = serial;
            info.description = controller.description;
            info.vendorId = controller.vendorId;
            info.productId = controller.productId;
            info.spec = spec;
            device = new TsVaronDevice(info, this);
        }
        const QxResult result = device->open();
        if (result.isSuccess()) {
            d->accessReported.remove(serial);
            if (d->reconnecting.remove(serial))
                qDebug("TsDeviceManager::populateDevices: %s answers again", qPrintable(serial));
            device->setProperty(OpenFailedProperty, 0);
            d->devices.insert(serial, device);
            d->indexChannels(device);
            emit newDevice(device);
            continue;
        }
        ++d->openFailures;
        if (!controller.accessProblem.isEmpty()) {
            // Never given up: installing the rule and plugging the controller in again must be
            // all it takes. Said once, not at every attempt.
            d->pending.insert(serial, device);
            if (!d->accessReported.contains(serial)) {
                d->accessReported.insert(serial);
                const QString text =
                    tr("The controller %1 (%2) cannot be opened: %3")
                        .arg(serial, controller.description, controller.accessProblem);
                qWarning("TsDeviceManager::populateDevices: %s", qPrintable(text));
                emit deviceError(device, text);
            }
            continue;
        }
        const auto reconnect = d->reconnecting.find(serial);
        if (reconnect != d->reconnecting.end()) {
            // Tried for as long as it stays attached; said now and then.
            const int attempts = ++reconnect.value();
            if (attempts == 1 || attempts % 300 == 0)
                qDebug("TsDeviceManager::populateDevices: %s failed: %s (reconnecting, attempt "
                       "%d)",
                       qPrintable(serial), qPrintable(result.toString(QStringLiteral(" / "))),
                       attempts);
            d->pending.insert(serial, device);
            continue;
        }
        const int failures = device->property(OpenFailedProperty).toInt() + 1;
        device->setProperty(OpenFailedProperty, failures);
        if (failures < MaxOpenAttempts) {
            d->pending.insert(serial, device);
            qDebug("TsDeviceManager::populateDevices: %s failed: %s (attempt %d of %d)",
                   qPrintable(serial), qPrintable(result.toString(QStringLiteral(" / "))), failures,
                   MaxOpenAttempts);
            continue;
        }
        const QString text = device->lastError().toString(QStringLiteral("\n"));
        qDebug("TsDeviceManager::populateDevices: %s given up: \"%s\"", qPrintable(serial),
               qPrintable(text));
        d->givenUp.insert(serial);
        emit deviceError(device, text);
        device->deleteLater();
    }
}
