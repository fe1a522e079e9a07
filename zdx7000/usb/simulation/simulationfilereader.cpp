#include "simulationfilereader.h"

#include <tinyxml2.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace zdx::usb {

namespace {

// USB string descriptors reach the caller through 128-byte fields.
constexpr size_t MaxUsbString = 127;
// A name travels with its terminator in one payload of at most 254 bytes.
constexpr size_t MaxComponentName = 253;

class AttributeReader
{
public:
    AttributeReader(const tinyxml2::XMLElement *element, std::string &error)
        : m_element(element)
        , m_error(error)
    {}

    bool has(const char *name) const { return m_element->Attribute(name) != nullptr; }

    // Integers are decimal, or hexadecimal with a 0x prefix; never octal, so "010" is ten.
    template <typename T>
    bool integer(const char *name, T &value, long long minimum, long long maximum)
    {
        const char *text = m_element->Attribute(name);
        if (!text)
            return true;
        long long parsed = 0;
        if (!parseInteger(text, parsed) || parsed < minimum || parsed > maximum) {
            fail(name, text,
                 "an integer from " + std::to_string(minimum) + " to " + std::to_string(maximum));
            return false;
        }
        value = static_cast<T>(parsed);
        return true;
    }

    bool hex16(const char *name, uint16_t &value)
    {
        const char *text = m_element->Attribute(name);
        if (!text)
            return true;
        std::string digits = text;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
            digits = digits.substr(2);
        char *end = nullptr;
        errno = 0;
        const unsigned long parsed = std::strtoul(digits.c_str(), &end, 16);
        if (digits.empty() || *end != '\0' || errno != 0 || parsed > 0xFFFF ||
            digits.find_first_of("+- ") != std::string::npos) {
            fail(name, text, "hexadecimal text from 0 to FFFF");
            return false;
        }
        value = static_cast<uint16_t>(parsed);
        return true;
    }

    bool flag(const char *name, bool &value)
    {
        const char *text = m_element->Attribute(name);
        if (!text)
            return true;
        const std::string s = text;
        if (s != "0" && s != "1") {
            fail(name, text, "0 or 1");
            return false;
        }
        value = s == "1";
        return true;
    }

    bool number(const char *name, double &value, double minimum)
    {
        const char *text = m_element->Attribute(name);
        if (!text)
            return true;
        char *end = nullptr;
        const double parsed = std::strtod(text, &end);
        if (end == text || *end != '\0' || !std::isfinite(parsed) || parsed < minimum) {
            fail(name, text, "a number of at least " + std::to_string(minimum));
            return false;
        }
        value = parsed;
        return true;
    }

    // Names and product strings travel one byte a character, and the host reads them as
    // Latin-1; the file is UTF-8. What Latin-1 cannot hold is refused rather than sent as bytes
    // that would show as other characters.
    bool text(const char *name, std::string &value, size_t maxLength)
    {
        const char *text = m_element->Attribute(name);
        if (!text)
            return true;
        std::string latin1;
        if (!toLatin1(text, latin1)) {
            fail(name, text, "Latin-1 text (the controllers' character set)");
            return false;
        }
        if (latin1.size() > maxLength) {
            fail(name, text, "at most " + std::to_string(maxLength) + " characters");
            return false;
        }
        value = latin1;
        return true;
    }

    // A comma-separated list of hexadecimal command bytes, e.g. "81,83".
    bool commandList(const char *name, std::vector<uint8_t> &value)
    {
        const char *text = m_element->Attribute(name);
        if (!text)
            return true;
        std::vector<uint8_t> result;
        std::stringstream stream(text);
        std::string item;
        while (std::getline(stream, item, ',')) {
            const auto first = item.find_first_not_of(" \t");
            if (first == std::string::npos)
                continue;
            item = item.substr(first, item.find_last_not_of(" \t") - first + 1);
            if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X'))
                item = item.substr(2);
            char *end = nullptr;
            const unsigned long parsed = std::strtoul(item.c_str(), &end, 16);
            if (item.empty() || *end != '\0' || parsed > 0xFF ||
                item.find_first_of("+-") != std::string::npos) {
                fail(name, text, "hexadecimal command bytes separated by commas");
                return false;
            }
            result.push_back(static_cast<uint8_t>(parsed));
        }
        value = result;
        return true;
    }

    void fail(const char *name, const char *text, const std::string &expected)
    {
        m_error = "line " + std::to_string(m_element->GetLineNum()) + ": " + m_element->Name() +
                  " attribute " + name + "=\"" + text + "\" is not " + expected;
    }

private:
    // U+0000 to U+00FF are exactly the UTF-8 sequences of one byte below 0x80 and of two bytes
    // starting with C2 or C3; anything else lies beyond Latin-1 or is no UTF-8.
    static bool toLatin1(const std::string &utf8, std::string &latin1)
    {
        latin1.clear();
        for (size_t i = 0; i < utf8.size();) {
            const auto lead = static_cast<unsigned char>(utf8[i]);
            if (lead < 0x80) {
                latin1 += char(lead);
                ++i;
                continue;
            }
            if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= utf8.size())
                return false;
            const auto trail = static_cast<unsigned char>(utf8[i + 1]);
            if ((trail & 0xC0) != 0x80)
                return false;
            latin1 += char(((lead & 0x1F) << 6) | (trail & 0x3F));
            i += 2;
        }
        return true;
    }

    static bool parseInteger(const char *text, long long &value)
    {
        std::string s = text;
        bool negative = false;
        size_t at = 0;
        if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
            negative = s[0] == '-';
            at = 1;
        }
        int base = 10;
        if (s.size() > at + 2 && s[at] == '0' && (s[at + 1] == 'x' || s[at + 1] == 'X')) {
            base = 16;
            at += 2;
        }
        const std::string digits = s.substr(at);
        if (digits.empty() || digits.find_first_of("+- ") != std::string::npos)
            return false;
        char *end = nullptr;
        errno = 0;
        const long long parsed = std::strtoll(digits.c_str(), &end, base);
        if (*end != '\0' || errno != 0)
            return false;
        value = negative ? -parsed : parsed;
        return true;
    }

    const tinyxml2::XMLElement *m_element;
    std::string &m_error;
};

bool readModel(AttributeReader &attributes, const tinyxml2::XMLElement *element,
               SimulationConfig::Model &model)
{
    const char *text = element->Attribute("model");
    if (!text)
        return true;
    const std::string s = text;
    if (s == "fixed")
        model = SimulationConfig::Model::Fixed;
    else if (s == "thermal")
        model = SimulationConfig::Model::Thermal;
    else if (s == "gas")
        model = SimulationConfig::Model::Gas;
    else {
        attributes.fail("model", text, "fixed, thermal or gas");
        return false;
    }
    return true;
}

bool readChannel(const tinyxml2::XMLElement *element, SimulationConfig::Channel &channel,
                 std::string &error)
{
    AttributeReader a(element, error);
    const long long int16Min = std::numeric_limits<int16_t>::min();
    const long long int16Max = std::numeric_limits<int16_t>::max();
    if (!a.integer("number", channel.number, 1, 255) ||
        !a.text("name", channel.name, MaxComponentName) ||
        !a.integer("actual", channel.actual, int16Min, int16Max) ||
        !a.integer("setpoint", channel.setpoint, int16Min, int16Max) ||
        !a.integer("minimum", channel.minimum, int16Min, int16Max) ||
        !a.integer("maximum", channel.maximum, int16Min, int16Max) ||
        !a.integer("control", channel.control, 0, 1) ||
        !a.integer("status", channel.status, 0, 255) ||
        !a.integer("calibration", channel.calibration, 0, 255) ||
        !readModel(a, element, channel.model) || !a.number("tau", channel.tauSeconds, 0.001) ||
        !a.number("tauOff", channel.tauOffSeconds, 0.001) ||
        !a.number("ambient", channel.ambient, int16Min) || !a.number("jitter", channel.jitter, 0))
        return false;
    if (channel.minimum > channel.maximum) {
        error = "line " + std::to_string(element->GetLineNum()) +
                ": Channel minimum is above its maximum";
        return false;
    }
    SimulationFileReader::applyModelDefaults(channel, a.has("tau"), a.has("tauOff"),
                                             a.has("ambient"), a.has("jitter"));
    return true;
}

bool readController(const tinyxml2::XMLElement *element, SimulationConfig::Controller &controller,
                    std::string &error)
{
    AttributeReader a(element, error);
    if (!a.text("serial", controller.serial, MaxUsbString) ||
        !a.text("description", controller.description, MaxUsbString) ||
        !a.hex16("vendorId", controller.vendorId) || !a.hex16("productId", controller.productId) ||
        !a.integer("deviceStatus", controller.deviceStatus, 0, 255) ||
        !a.integer("controlMode", controller.controlMode, 0, 255) ||
        !a.integer("brightness", controller.brightness, 0, 255) ||
        !a.flag("present", controller.present) || !a.flag("silent", controller.silent) ||
        !a.commandList("refuse", controller.refused) ||
        !a.integer("noise", controller.noise, 0, 4096) ||
        !a.integer("chunk", controller.chunk, 0, 1 << 20) ||
        !a.flag("corrupt", controller.corrupt) ||
        !a.integer("openFailures", controller.openFailures, 0, 1 << 30) ||
        !a.flag("linkNameFails", controller.linkNameFails) ||
        !a.integer("delay", controller.delayMs, 0, 3600 * 1000) ||
        !a.integer("wire", controller.wireBaud, 0, 100000000))
        return false;

    for (const tinyxml2::XMLElement *child = element->FirstChildElement("Channel"); child;
         child = child->NextSiblingElement("Channel")) {
        SimulationConfig::Channel channel;
        if (!readChannel(child, channel, error))
            return false;
        for (const SimulationConfig::Channel &other : controller.channels) {
            if (other.number == channel.number) {
                error = "line " + std::to_string(child->GetLineNum()) + ": channel " +
                        std::to_string(channel.number) + " appears twice";
                return false;
            }
        }
        controller.channels.push_back(channel);
    }
    return true;
}

} // namespace

void SimulationFileReader::applyModelDefaults(SimulationConfig::Channel &channel, bool hasTau,
                                              bool hasTauOff, bool hasAmbient, bool hasJitter)
{
    // Thermal: a stage heater settles in a few minutes (30 s lag) and cools more slowly without
    // power; room temperature is 22.0 degrees. Gas: the chamber volume makes it slower (45 s);
    // with the valves closed it drifts to air, which has next to no CO2. The noise amplitudes keep
    // a settled reading within one raw step of its setpoint.
    double tau = 0, tauOff = 0, ambient = 0, jitter = 0;
    switch (channel.model) {
    case SimulationConfig::Model::Fixed:
        break;
    case SimulationConfig::Model::Thermal:
        tau = 30;
        tauOff = 120;
        ambient = 220;
        jitter = 0.6;
        break;
    case SimulationConfig::Model::Gas:
        tau = 45;
        tauOff = 60;
        ambient = 0;
        jitter = 0.8;
        break;
    }
    if (!hasTau)
        channel.tauSeconds = tau;
    if (!hasTauOff)
        channel.tauOffSeconds = tauOff;
    if (!hasAmbient)
        channel.ambient = ambient;
    if (!hasJitter)
        channel.jitter = jitter;
}

bool SimulationFileReader::readFile(const std::filesystem::path &path, SimulationConfig &config,
                                    std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path.string() + ": cannot be opened";
        return false;
    }
    std::stringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        error = path.string() + ": cannot be read";
        return false;
    }
    if (!readText(content.str(), config, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    return true;
}

bool SimulationFileReader::readText(const std::string &text, SimulationConfig &config,
                                    std::string &error)
{
    tinyxml2::XMLDocument document;
    if (document.Parse(text.c_str(), text.size()) != tinyxml2::XML_SUCCESS) {
        error = "line " + std::to_string(document.ErrorLineNum()) + ": " + document.ErrorStr();
        return false;
    }
    const tinyxml2::XMLElement *root = document.RootElement();
    if (!root || std::string(root->Name()) != "ZdxSimulation") {
        error = "the root element is not ZdxSimulation";
        return false;
    }

    SimulationConfig result;
    AttributeReader a(root, error);
    if (const char *timing = root->Attribute("timing")) {
        const std::string s = timing;
        if (s == "realtime")
            result.timing = SimulationConfig::Timing::Realtime;
        else if (s == "instant")
            result.timing = SimulationConfig::Timing::Instant;
        else {
            a.fail("timing", timing, "realtime or instant");
            return false;
        }
    }
    if (!a.integer("seed", result.seed, 0, std::numeric_limits<long long>::max()))
        return false;

    for (const tinyxml2::XMLElement *element = root->FirstChildElement("Controller"); element;
         element = element->NextSiblingElement("Controller")) {
        SimulationConfig::Controller controller;
        if (!readController(element, controller, error))
            return false;
        result.controllers.push_back(controller);
    }
    config = result;
    return true;
}

} // namespace zdx::usb
