#include "double/SpectrometerCommands.h"

#include <windows.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace {

const std::string SimFileMagic = "VELORA-SIM-OPUS";
constexpr double Pi = 3.14159265358979323846;

uint64_t fnv1a(const std::string& bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash ^= uint8_t(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

double gauss(double x, double centre, double width)
{
    const double d = (x - centre) / width;
    return std::exp(-0.5 * d * d);
}

std::string fixed(double value, int decimals)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

// A value in characters 3 to 12 of the reply, as the station reads it.
std::string valueReply(std::string value)
{
    if (value.size() < 10)
        value.append(10 - value.size(), ' ');
    return "OK" + value + "\r\n";
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool isFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string joined(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        return folder + name;
    return folder + "\\" + name;
}

} // namespace

SpectrometerCommands::SpectrometerCommands(std::string dataRoot)
    : m_dataRoot(std::move(dataRoot))
{
}

std::string SpectrometerCommands::run(const std::string& command)
{
    if (startsWith(command, "MeasureSample"))
        return measureSample(command);
    std::string upper = command.substr(0, 6);
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "SAVEAS")
        return saveAs(command);
    if (command == "READ_PARAMETER PKA")
        return valueReply("0.43829581");
    if (command == "READ_PARAMETER ABP")
        return valueReply("14512.0000");
    if (command == "DIAG_STATUS MESSAGE" || command == "DIAG_STATUS")
        return valueReply("0");
    if (command == "REQUEST_MODE" || startsWith(command, "MeasureReference") ||
        startsWith(command, "TAKE_REFERENCE") || startsWith(command, "UNLOAD_FILE ") ||
        startsWith(command, "READ_FROM_FILE ") || startsWith(command, "READ_FROM_BLOCK ") ||
        command == "CLOSE_OPUS")
        return "OK\r\n";
    return "ERROR Unknown command\r\n";
}

std::string SpectrometerCommands::measureSample(const std::string& command)
{
    static const std::regex nameRe("NAM='([^']*)'");
    static const std::regex folderRe("PTH='([^']*)'");
    std::smatch name, folder;
    if (!std::regex_search(command, name, nameRe) || !std::regex_search(command, folder, folderRe))
        return "ERROR MeasureSample without NAM or PTH\r\n";
    const std::string commandPath = folder.str(1) + "\\" + name.str(1);
    const std::string dir = localPath(folder.str(1));
    if (!isFolder(dir))
        return "ERROR Path not found: " + folder.str(1) + "\r\n";
    const std::string key = stoneKeyFor(name.str(1));
    const int scan = m_scanCounts[key]++;
    const std::string path = joined(dir, name.str(1));
    const std::string content =
        SimFileMagic + "\n" + key + "\n" + std::to_string(scan) + "\n" + spectrumFor(key, scan);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file || !file.write(content.data(), std::streamsize(content.size())) || !file.flush()) {
        file.close();
        DeleteFileA(path.c_str());
        return "ERROR Cannot write " + commandPath + "\r\n";
    }
    // From character 8 on: the file's path, one character, then a blank.
    return "OK\r\n1\r\n" + commandPath + ", 1 AB\r\n";
}

std::string SpectrometerCommands::saveAs(const std::string& command)
{
    static const std::regex sourceRe("^SAVEAS\\s*\\(?\\s*\\[\\s*[\"']([^\"']*)[\"']\\s*:\\s*AB\\s*\\]",
                                     std::regex::icase);
    static const std::regex folderRe("DAP='([^']*)'");
    static const std::regex nameRe("SAN='([^']*)'");
    std::smatch source, folder, name;
    if (!std::regex_search(command, source, sourceRe) || !std::regex_search(command, folder, folderRe) ||
        !std::regex_search(command, name, nameRe))
        return "ERROR SAVEAS without file, DAP or SAN\r\n";
    std::ifstream measured(localPath(source.str(1)), std::ios::binary);
    if (!measured)
        return "ERROR File not loaded: " + source.str(1) + "\r\n";
    std::stringstream read;
    read << measured.rdbuf();
    const std::string content = read.str();
    size_t start = 0;
    for (int lines = 0; lines < 3 && start != std::string::npos; ++lines) {
        start = content.find('\n', start);
        if (start != std::string::npos)
            ++start;
    }
    if (!startsWith(content, SimFileMagic) || start == std::string::npos)
        return "ERROR No AB block in " + source.str(1) + "\r\n";
    std::string target = name.str(1);
    std::string tail = target.size() >= 4 ? target.substr(target.size() - 4) : std::string();
    for (char& c : tail)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (tail != ".dpt")
        target += ".dpt";
    const std::string path = joined(localPath(folder.str(1)), target);
    const std::string body = content.substr(start);
    std::ofstream table(path, std::ios::binary | std::ios::trunc);
    if (!table || !table.write(body.data(), std::streamsize(body.size())) || !table.flush()) {
        table.close();
        DeleteFileA(path.c_str());
        return "ERROR Cannot write " + target + "\r\n";
    }
    return "OK\r\n";
}

std::string SpectrometerCommands::stoneKeyFor(const std::string& sampleName)
{
    for (size_t i = 0; i + 1 < sampleName.size(); ++i)
        if (sampleName[i] == '-' && std::isdigit(static_cast<unsigned char>(sampleName[i + 1])))
            return sampleName.substr(0, i);
    const size_t dot = sampleName.rfind('.');
    return dot == std::string::npos ? sampleName : sampleName.substr(0, dot);
}

std::string SpectrometerCommands::localPath(const std::string& commandPath) const
{
    const bool drivePath = commandPath.size() >= 2 &&
                           std::isalpha(static_cast<unsigned char>(commandPath[0])) && commandPath[1] == ':';
    if (!drivePath || m_dataRoot.empty())
        return commandPath;
    std::string rest = commandPath.substr(2);
    while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/'))
        rest.erase(0, 1);
    const char drive = char(std::toupper(static_cast<unsigned char>(commandPath[0])));
    return joined(joined(m_dataRoot, std::string(1, drive)), rest);
}

std::string SpectrometerCommands::spectrumFor(const std::string& stoneKey, int scanIndex)
{
    // The same stone and scan model as the simulated software, draw for draw.
    const uint64_t stoneSeed = fnv1a(stoneKey);
    std::mt19937_64 stoneRng(stoneSeed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double thickness = 0.6 + 1.0 * unit(stoneRng);
    const double nitrogenA = 1.2 * unit(stoneRng);
    const double nitrogenB = 0.8 * unit(stoneRng) * unit(stoneRng);
    const double platelets = nitrogenB > 0.2 ? 0.3 * unit(stoneRng) : 0.02 * unit(stoneRng);
    const double plateletPosition = 1362.0 + 10.0 * unit(stoneRng);
    const double hydrogen = unit(stoneRng) < 0.4 ? 0.25 * unit(stoneRng) : 0.0;
    const double baseline = 0.03 + 0.09 * unit(stoneRng);
    const double slope = 0.00002 * (unit(stoneRng) - 0.5);
    const double phase = 2.0 * Pi * unit(stoneRng);

    const double angle = phase + scanIndex * Pi / 4.0;
    const double gain = 1.0 + 0.015 * std::sin(angle);
    const double offset = 0.004 * std::cos(angle);
    std::mt19937_64 scanRng(stoneSeed ^ (0x9E3779B97F4A7C15ull * uint64_t(scanIndex + 1)));
    std::normal_distribution<double> noise(0.0, 0.0015);

    std::string table;
    table.reserve(3601 * 24);
    for (int i = 0; i <= 3600; ++i) {
        const double wn = 4000.0 - i;
        double a = thickness *
                   (0.55 * gauss(wn, 1975, 40) + 0.75 * gauss(wn, 2030, 25) + 0.70 * gauss(wn, 2160, 35) +
                    0.45 * gauss(wn, 2250, 60) + 0.30 * gauss(wn, 2470, 50) + 0.12 * gauss(wn, 2650, 60) +
                    0.06 * gauss(wn, 3100, 200) + 0.04 * gauss(wn, 3650, 150));
        a += nitrogenA * (gauss(wn, 1282, 30) + 0.5 * gauss(wn, 1215, 25) + 0.4 * gauss(wn, 1093, 20));
        a += nitrogenB * (gauss(wn, 1175, 30) + 0.6 * gauss(wn, 1010, 25) + 0.35 * gauss(wn, 1332, 12));
        a += platelets * gauss(wn, plateletPosition, 6);
        a += hydrogen * (gauss(wn, 3107, 4) + 0.3 * gauss(wn, 1405, 4));
        a = gain * a + baseline + slope * (wn - 2200.0) + offset + noise(scanRng);
        table += fixed(wn, 5) + ',' + fixed(a, 6) + "\r\n";
    }
    return table;
}
