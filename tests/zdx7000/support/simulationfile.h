// Writes simulation files for tests. Every write moves the file's modification time forward, so the
// simulation notices a rewrite even within one clock tick of the file system.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace zdx::test {

// On Windows an empty value removes the variable: it cannot hold an empty one.
inline void setEnvironment(const char *name, const std::string &value)
{
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

inline void unsetEnvironment(const char *name)
{
#if defined(_WIN32)
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

class SimulationFile
{
public:
    explicit SimulationFile(const std::string &name)
        : m_path(std::filesystem::temp_directory_path() /
                 (name + "-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                  ".xml"))
    {}
    ~SimulationFile()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }

    const std::string path() const { return m_path.string(); }

    // Controllers go inside <ZdxSimulation timing="instant">.
    void write(const std::string &controllers, const std::string &timing = "instant")
    {
        {
            std::ofstream out(m_path, std::ios::trunc);
            out << "<ZdxSimulation timing=\"" << timing << "\">\n"
                << controllers << "</ZdxSimulation>\n";
        }
        m_stamp += std::chrono::seconds(1);
        std::filesystem::last_write_time(m_path, m_stamp);
    }

    // Makes this file the process's simulation; call before the library's first USB call.
    void useFromEnvironment() const { setEnvironment("ZDX7000_SIMULATION", path()); }

private:
    std::filesystem::path m_path;
    std::filesystem::file_time_type m_stamp = std::filesystem::file_time_type::clock::now();
};

// One controller element with `channels` inside.
inline std::string controller(const std::string &serial, const std::string &attributes,
                              const std::string &channels = "", const std::string &product = "0001")
{
    return "<Controller serial=\"" + serial + "\" description=\"Unit " + serial +
           "\" vendorId=\"2E91\" productId=\"" + product + "\" " + attributes + ">" + channels +
           "</Controller>\n";
}

// A fixed-model channel; `attributes` may override any of the defaults.
inline std::string channel(int number, const std::string &name, const std::string &attributes = "")
{
    std::string text =
        "<Channel number=\"" + std::to_string(number) + "\" name=\"" + name + "\" " + attributes;
    const char *defaults[][2] = {{"actual", "250"},  {"setpoint", "370"}, {"minimum", "0"},
                                 {"maximum", "600"}, {"control", "1"},    {"status", "0"},
                                 {"model", "fixed"}};
    for (const auto &d : defaults) {
        if (attributes.find(std::string(d[0]) + "=") == std::string::npos)
            text += std::string(" ") + d[0] + "=\"" + d[1] + "\"";
    }
    return text + "/>";
}

} // namespace zdx::test
