#include "RecordingList.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <netkit/sdp/SdpRange.h>
#include <netkit/util/Logging.h>
#include <sstream>

namespace Vapixcam {

using Orix::LogDebug;
using Orix::LogError;

std::optional<StorageSourceId> splitRecordingId(const std::string& id, const Orix::LoggerOwner& log)
{
    const auto dot = id.find('.');
    const std::string channel = id.substr(0, dot);
    if (channel.empty() || channel.size() > 9 || channel.find_first_not_of("0123456789") != std::string::npos) {
        ORIX_LOG(log, LogError, " exception: bad storage source '" << id << "'");
        return std::nullopt;
    }
    StorageSourceId out;
    out.channel = static_cast<std::uint32_t>(std::stoul(channel));
    if (dot != std::string::npos)
        out.disk = id.substr(dot + 1);
    return out;
}

std::string storageSourceId(std::uint32_t channel, const std::string& disk)
{
    return disk.empty() ? std::to_string(channel) : std::to_string(channel) + "." + disk;
}

std::string toVapixTime(std::uint64_t hostTime)
{
    return Orix::Utility::formatIsoUtc(static_cast<std::int64_t>(hostTime) * 1000, 0);
}

std::string timestampToString(std::uint64_t hostTime)
{
    return Orix::Utility::formatIsoUtc(static_cast<std::int64_t>(hostTime) * 1000, 3);
}

std::optional<std::uint64_t> toVeltoTime(const std::string& text)
{
    const auto micros = Orix::Utility::parseIsoUtc(text);
    if (!micros || *micros < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(*micros / 1000);
}

std::string recordingListUrl(const std::string& disk, const std::string& extra, std::uint64_t begin,
                             std::uint64_t end)
{
    std::string url = "/axis-cgi/record/list.cgi?recordingid=all";
    if (!disk.empty())
        url += "&diskid=" + disk;
    return url + extra + "&starttime=" + toVapixTime(begin) + "&stoptime=" + toVapixTime(end);
}

std::uint32_t parseRecordingList(const std::string& body, std::uint64_t begin, std::uint64_t end,
                                 std::uint64_t now, const Orix::LoggerOwner& log,
                                 std::vector<RecordingEntry>& out)
{
    namespace pt = boost::property_tree;
    out.clear();
    try {
        pt::ptree tree;
        std::istringstream in(body);
        pt::read_xml(in, tree);
        const pt::ptree& recordings = tree.get_child("root.recordings");
        const auto count = recordings.get<std::uint32_t>("<xmlattr>.numberofrecordings");
        ORIX_LOG(log, LogDebug, " Device reports recordings: " << count);
        if (count == 0)
            return 0;
        out.reserve(std::min<std::uint32_t>(count, 1024));
        for (const auto& child : recordings) {
            if (child.first != "recording")
                continue;
            const pt::ptree& r = child.second;
            const std::string startText = r.get<std::string>("<xmlattr>.starttime");
            const std::string stopText = r.get<std::string>("<xmlattr>.stoptime");
            const auto start = toVeltoTime(startText);
            const auto stop = toVeltoTime(stopText);
            if (!start || !stop) {
                ORIX_LOG(log, LogError, " Unexpected time format: " << (start ? stopText : startText));
                return 1;
            }
            if (*stop < begin || *start > end) {
                ORIX_LOG(log, LogDebug, " skip recording [" << startText << ", " << stopText << "]");
                continue;
            }
            RecordingEntry e;
            e.id = r.get<std::string>("<xmlattr>.recordingid");
            const std::string status = r.get<std::string>("<xmlattr>.recordingstatus");
            e.status = status == "recording" ? 2 : (status == "completed" || status == "triggered") ? 1 : 0;
            e.begin = *start;
            e.end = e.status == 2 ? std::max(now, *start) : *stop;
            ORIX_LOG(log, LogDebug,
                     "     id=" << e.id << " status=" << e.status << " [" << timestampToString(e.begin) << ","
                                << timestampToString(e.end) << "]");
            out.push_back(std::move(e));
        }
        return 0;
    } catch (const std::exception& e) {
        ORIX_LOG(log, LogError, " Cannot parse device reponse, while reading recordings list: " << e.what());
        out.clear();
        return 1;
    }
}

std::vector<std::string> parseDiskList(const std::string& body)
{
    namespace pt = boost::property_tree;
    std::vector<std::string> disks;
    try {
        pt::ptree tree;
        std::istringstream in(body);
        pt::read_xml(in, tree);
        for (const auto& child : tree.get_child("root.disks")) {
            if (child.first != "disk")
                continue;
            const auto id = child.second.get<std::string>("<xmlattr>.diskid", "");
            if (!id.empty())
                disks.push_back(id);
        }
    } catch (const std::exception&) {
        disks.clear();
    }
    return disks;
}

} // namespace Vapixcam
