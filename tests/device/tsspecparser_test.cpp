#include "devicetestsupport.h"

#include "device/devicespec.h"
#include "device/tsdevicemanager.h"
#include "device/tsspecparser.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

QByteArray document(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?>\n<DeviceSpecs>\n" + body + "</DeviceSpecs>\n";
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &content)
{
    QFile file(QDir(dir.path()).filePath("devicespec.xml"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return file.fileName();
}

TEST(TsSpecParser, BuiltInSpecificationDescribesTheShippedModels)
{
    TsSpecParser parser;
    ASSERT_TRUE(parser.load(TsSpecParser::builtInPath()).isSuccess());
    EXPECT_TRUE(parser.warnings().isEmpty());
    const DeviceSpecSet &set = parser.specs();
    ASSERT_EQ(set.devices().size(), 3u);
    const DeviceSpec &gas = *set.devices()[2];
    EXPECT_EQ(gas.name, "Gas Unit G2");
    EXPECT_EQ(gas.vendorId, 0x2E91);
    EXPECT_EQ(gas.productId, 0x0004);
    EXPECT_EQ(gas.serialPrefix, "154");
    EXPECT_EQ(gas.channels.keys(), (QList<int>{1, 2}));
    EXPECT_EQ(set.devices()[1]->channels.keys(), QList<int>{1});
    const ChannelSpec &heat = set.devices()[0]->channels[2];
    EXPECT_EQ(heat.unit, QStringLiteral("°C"));
    EXPECT_DOUBLE_EQ(heat.scale, 0.1);
    EXPECT_DOUBLE_EQ(heat.defaultSetpoint, 37);
    EXPECT_DOUBLE_EQ(heat.green.delta, 0.2);
    EXPECT_EQ(heat.yellow.timeOut, 50000);

    EXPECT_EQ(set.deviceStatusCodes.keys(), (QList<int>{0, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85}));
    EXPECT_EQ(set.channelStatusCodes.size(), 24);
    EXPECT_EQ(heat.channelStatusCodes.value(0x17).text, "Adjusting other sensor");
    for (const StatusCodeMap *codes : {&set.deviceStatusCodes, &set.channelStatusCodes}) {
        for (const StatusCodeSpec &code : *codes)
            EXPECT_FALSE(code.description.isEmpty()) << qPrintable(code.text);
    }
    ASSERT_EQ(set.graphAxes.size(), 2);
    EXPECT_EQ(set.graphAxes[1].name, QStringLiteral("Temp [°C]"));
    EXPECT_DOUBLE_EQ(set.graphAxes[1].maxLimit, 70);
    EXPECT_EQ(set.graphAxes[1].subGrids, 3);
    EXPECT_EQ(set.graphAxes[0].color, QColor(Qt::blue));
}

TEST(TsSpecParser, AttributesFollowTheirRulesAndDefaults)
{
    TsSpecParser parser;
    ASSERT_TRUE(parser
                    .parse(document(R"(
<DeviceSpec name="M" id="serial/150" caps=" Heater,,GAS "><Channels>
  <Channel number="1" scale="0.1" defaultSetpoint="-12.5">
    <StatusGreen delta="5 %" timeIn="0.5" timeOut="60"/>
    <StatusYellow delta="0.2" timeIn="10" timeOut="50"/>
  </Channel>
  <Channel number="2" scale="abc" defaultSetpoint="warm"><StatusGreen delta="1"/></Channel>
  <Channel number="3" scale="1e-13"/>
  <Channel number="3" unit="later"/>
  <Channel number="three"/>
</Channels></DeviceSpec>
<GraphAxes><GraphAxis name="A" color="green"/></GraphAxes>)"))
                    .isSuccess());
    const DeviceSpec &spec = *parser.specs().devices().front();
    EXPECT_EQ(spec.caps, (QStringList{"heater", "gas"}));
    EXPECT_EQ(spec.vendorId, 0) << "an id without usb@ carries no USB data";
    EXPECT_TRUE(spec.serialPrefix.isEmpty());
    ASSERT_EQ(spec.channels.keys(), (QList<int>{1, 2, 3})) << "a later duplicate replaces";

    const ChannelSpec &one = spec.channels[1];
    EXPECT_TRUE(one.green.relative);
    EXPECT_DOUBLE_EQ(one.green.delta, 0.05);
    EXPECT_EQ(one.green.timeIn, 500);
    EXPECT_FALSE(one.yellow.relative);
    EXPECT_DOUBLE_EQ(one.yellow.delta, 0.2);
    EXPECT_DOUBLE_EQ(one.defaultSetpoint, -12.5);

    const ChannelSpec &two = spec.channels[2];
    EXPECT_DOUBLE_EQ(two.scale, 1.0);
    EXPECT_DOUBLE_EQ(two.defaultSetpoint, 10.0);
    EXPECT_EQ(two.yellow.timeIn + two.yellow.timeOut, 0) << "missing band: disabled";
    EXPECT_DOUBLE_EQ(two.yellow.delta, 0.0);
    EXPECT_DOUBLE_EQ(spec.channels[3].scale, 1.0);
    EXPECT_EQ(spec.channels[3].unit, "later");
    EXPECT_TRUE(parser.warnings().contains("three"));

    const GraphAxisSpec &axis = parser.specs().graphAxes.front();
    EXPECT_TRUE(std::isnan(axis.minLimit) && std::isnan(axis.maxLimit));
    EXPECT_EQ(axis.mainGrids, 4);
    EXPECT_EQ(axis.color, QColor("green"));
}

TEST(TsSpecParser, ControllersMatchByDescriptionIdsAndSerialPrefix)
{
    TsSpecParser parser;
    ASSERT_TRUE(parser.load(TsSpecParser::builtInPath()).isSuccess());
    const DeviceSpecSet &set = parser.specs();
    const DeviceSpec *heat = set.devices()[0].get();
    EXPECT_EQ(set.find("HEAT unit h2", 0x2E91, 0x0001, "150A7"), heat);
    EXPECT_EQ(set.find("Heat Unit H2", 0x2E91, 0x0001, "15A07"), nullptr);
    EXPECT_EQ(set.find("Heat Unit H3", 0x2E91, 0x0001, "150A7"), nullptr);
    EXPECT_EQ(set.find("Heat Unit H2", 0x2E92, 0x0001, "150A7"), nullptr);
    EXPECT_EQ(set.find("Heat Unit H2", 0x2E91, 0x0004, "150A7"), nullptr);
    EXPECT_EQ(set.findBySerial("153ZZ"), set.devices()[1].get());
    EXPECT_EQ(set.findBySerial("15"), nullptr);
}

TEST(TsSpecParser, StatusCodesLayerAndAcceptEveryIntegerNotation)
{
    TsSpecParser parser;
    ASSERT_TRUE(parser
                    .parse(document(R"(
<ChannelStatusCodes>
  <ChannelStatus code="0x0A" text="Hex" description="first"/>
  <ChannelStatus code="10" text="Decimal" description="second"/>
  <ChannelStatus code="014" text="Octal twelve"/>
  <ChannelStatus code="1" text="Global one"/>
  <ChannelStatus code="ten" text="Broken"/>
</ChannelStatusCodes>
<DeviceStatusCodes><DeviceStatus code="0x80" text="Boot"/></DeviceStatusCodes>
<DeviceSpec name="M" id="usb@2E91/0001/150">
  <DeviceStatusCodes><DeviceStatus code="128" text="Model boot"/></DeviceStatusCodes>
  <ChannelStatusCodes><ChannelStatus code="1" text="Model one"/></ChannelStatusCodes>
  <Channels>
    <Channel number="1">
      <ChannelStatusCodes><ChannelStatus code="0x01" text="Channel one"/></ChannelStatusCodes>
    </Channel>
    <Channel number="2"/>
  </Channels>
</DeviceSpec>
<DeviceSpec name="N" id="usb@2E91/0003/153"/>)"))
                    .isSuccess());
    const DeviceSpecSet &set = parser.specs();
    EXPECT_EQ(set.channelStatusCodes.keys(), (QList<int>{1, 10, 12}));
    EXPECT_EQ(set.channelStatusCodes.value(10).text, "Decimal") << "0x0A and 10 are one code";
    EXPECT_EQ(set.channelStatusCodes.value(10).description, "second");
    EXPECT_TRUE(parser.warnings().contains("line 9")) << qPrintable(parser.warnings());

    const DeviceSpec &m = *set.devices()[0];
    EXPECT_EQ(m.deviceStatusCodes.value(0x80).text, "Model boot");
    EXPECT_EQ(set.deviceStatusCodes.value(0x80).text, "Boot");
    EXPECT_EQ(m.channels[1].channelStatusCodes.value(1).text, "Channel one");
    EXPECT_EQ(m.channels[2].channelStatusCodes.value(1).text, "Model one");
    EXPECT_EQ(m.channels[2].channelStatusCodes.value(10).text, "Decimal");
    EXPECT_EQ(set.devices()[1]->channelStatusCodes.value(1).text, "Global one");
}

TEST(TsSpecParser, UnreadableDocumentsAreRefusedWithTheirReason)
{
    TsSpecParser parser;
    const QxResult malformed = parser.parse(document("  <DeviceSpec name=\"a\">\n"));
    ASSERT_TRUE(malformed.isError());
    EXPECT_TRUE(
        QRegularExpression("^'.+' \\(line=4 column=\\d+\\)$").match(malformed.message()).hasMatch())
        << qPrintable(malformed.message());
    EXPECT_TRUE(parser.specs().devices().empty());

    EXPECT_EQ(parser.parse("<Other><DeviceSpec name=\"a\"/></Other>").message(),
              "No 'DeviceSpecs' element");
    EXPECT_TRUE(parser.specs().devices().empty());
    EXPECT_FALSE(parser.load("/nonexistent/devicespec.xml").message().isEmpty());
}

TEST(TsSpecParser, TheManagersFileBesideTheProgramReplacesTheBuiltInOne)
{
    QTemporaryDir program;
    EXPECT_EQ(TsDeviceManager::deviceSpecPath(program.path()), TsSpecParser::builtInPath());
    const QString path = writeFile(program, document(R"(<DeviceSpec name="Only"/>)"));
    EXPECT_EQ(TsDeviceManager::deviceSpecPath(program.path()), path);

    TsDeviceManager manager;
    ASSERT_TRUE(manager.loadDeviceSpecs(path).isSuccess());
    ASSERT_EQ(manager.deviceSpecs().devices().size(), 1u);
    EXPECT_EQ(manager.specForSerial("150A7"), nullptr) << "nothing of the built-in one is left";
    EXPECT_TRUE(manager.deviceSpecError().isEmpty());

    // A broken file leaves no supported model and keeps its text for the window.
    const QxResult broken = manager.loadDeviceSpecs(writeFile(program, "<DeviceSpecs><x>"));
    ASSERT_TRUE(broken.isError());
    EXPECT_EQ(manager.deviceSpecError(), broken.message());
    EXPECT_TRUE(manager.deviceSpecs().devices().empty());
}

} // namespace
