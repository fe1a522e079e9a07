// The parsed device specification: which controller models the program supports and, per model
// and channel, the raw-value scale, the unit, the stability bands and the status-code texts, plus
// the axes the recorder graph offers. Plain records, filled by TsSpecParser and read-only after.
#pragma once

#include <QColor>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

// One band of the stability monitor. A band with delta 0 or with a time of 0 is disabled.
struct StatusBandSpec
{
    bool relative = false; // delta is a fraction of the setpoint, not a value in display units
    double delta = 0.0;
    int timeIn = 0;  // milliseconds inside the band before it counts as stable
    int timeOut = 0; // milliseconds outside the band before it stops counting as stable
};

// Texts of one status code; the description is an HTML fragment shown as rich text.
struct StatusCodeSpec
{
    QString text;
    QString description;
};

using StatusCodeMap = QMap<int, StatusCodeSpec>;

struct ChannelSpec
{
    StatusBandSpec yellow;
    StatusBandSpec green;
    int number = 0;
    double scale = 1.0; // display value = raw value x scale
    QString unit;
    QStringList caps;
    double defaultSetpoint = 10.0;
    StatusCodeMap channelStatusCodes; // the device's codes with the channel's own on top
};

struct DeviceSpec
{
    QString name;
    QString id; // "usb@VVVV/PPPP/prefix"
    QStringList caps;
    int vendorId = 0;
    int productId = 0;
    QString serialPrefix;
    StatusCodeMap deviceStatusCodes;  // the global codes with the model's own on top
    StatusCodeMap channelStatusCodes; // likewise
    QMap<int, ChannelSpec> channels;  // by channel number

    // Fills vendorId, productId and serialPrefix from id.
    void parseId();
    const ChannelSpec *channel(int number) const;
    // Whether a controller with these USB data is of this model.
    bool matches(const QString &description, int vendorId, int productId,
                 const QString &serialNumber) const;
};

struct GraphAxisSpec
{
    QString name;
    QString unit;
    double min = 0.0;
    double minLimit = 0.0;
    double max = 0.0;
    double maxLimit = 0.0;
    QColor color;
    int mainGrids = 4;
    int subGrids = 4;
};

// The whole specification. Devices and channels keep plain pointers to its DeviceSpec and
// ChannelSpec records, so the records live on the heap and never move once the set is built; the
// set itself is not copyable.
class DeviceSpecSet
{
public:
    DeviceSpecSet() = default;
    DeviceSpecSet(const DeviceSpecSet &) = delete;
    DeviceSpecSet &operator=(const DeviceSpecSet &) = delete;
    DeviceSpecSet(DeviceSpecSet &&) = default;
    DeviceSpecSet &operator=(DeviceSpecSet &&) = default;

    // In file order.
    const std::vector<std::unique_ptr<DeviceSpec>> &devices() const { return m_devices; }
    void addDevice(std::unique_ptr<DeviceSpec> spec) { m_devices.push_back(std::move(spec)); }

    StatusCodeMap deviceStatusCodes;
    StatusCodeMap channelStatusCodes;
    QVector<GraphAxisSpec> graphAxes;

    // The first model in file order that the controller matches; null when none does.
    const DeviceSpec *find(const QString &description, int vendorId, int productId,
                           const QString &serialNumber) const;
    // The first model whose serial prefix equals the first three characters of serialNumber.
    const DeviceSpec *findBySerial(const QString &serialNumber) const;
    // The first graph axis that plots values of unit; null for none or an empty unit.
    const GraphAxisSpec *graphAxisForUnit(const QString &unit) const;

    // The entry for code, or empty texts when there is none.
    static StatusCodeSpec statusCode(const StatusCodeMap &codes, int code);

private:
    std::vector<std::unique_ptr<DeviceSpec>> m_devices;
};
