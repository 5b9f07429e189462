#include "MotionWindows.h"

#include <cctype>
#include <sstream>

namespace Vapixcam {

namespace {

bool allDigits(const std::string& text)
{
    if (text.empty())
        return false;
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

std::vector<std::string> motionWindowsOfChannel(const std::string& listAnswer, int channel)
{
    static const std::string kPrefix = "Motion.M";
    static const std::string kKey = ".ImageSource=";
    std::vector<std::string> groups;
    std::istringstream lines(listAnswer);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 5, "root.") == 0)
            line.erase(0, 5);
        if (line.compare(0, kPrefix.size(), kPrefix) != 0)
            continue;
        const auto key = line.find(kKey, kPrefix.size());
        if (key == std::string::npos)
            continue;
        const std::string index = line.substr(kPrefix.size(), key - kPrefix.size());
        const std::string source = line.substr(key + kKey.size());
        if (allDigits(index) && allDigits(source) && source == std::to_string(channel))
            groups.push_back(kPrefix + index);
    }
    return groups;
}

std::string motionWindowsRemoveRequest(const std::vector<std::string>& groups)
{
    std::string request = "/axis-cgi/param.cgi?action=remove&group=";
    for (std::size_t i = 0; i < groups.size(); ++i)
        request += (i == 0 ? "" : ",") + groups[i];
    return request;
}

std::string motionMainWindowRequest(int channel)
{
    return "/axis-cgi/param.cgi?action=add&group=Motion&template=motion&Motion.M.ImageSource=" +
           std::to_string(channel) +
           "&Motion.M.Left=0&Motion.M.Right=9999&Motion.M.Top=0&Motion.M.Bottom=9999"
           "&Motion.M.WindowType=include&Motion.M.Sensitivity=90&Motion.M.ObjectSize=15&Motion.M.History=90";
}

const std::vector<UpdatePiece>& motionWindowPieces()
{
    static const std::vector<UpdatePiece> pieces = {
        {"WindowType", UpdateValueType::text, "&Motion.M0.WindowType="},
        {"Sensitivity", UpdateValueType::integer, "&Motion.M0.Sensitivity="},
        {"ObjectSize", UpdateValueType::integer, "&Motion.M0.ObjectSize="},
        {"History", UpdateValueType::integer, "&Motion.M0.History="},
    };
    return pieces;
}

} // namespace Vapixcam
