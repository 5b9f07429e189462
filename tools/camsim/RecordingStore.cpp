#include "RecordingStore.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace Camsim {

namespace {

constexpr std::int64_t kSecond = 1000000;

std::int64_t systemNow()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm), so that
// no time zone of the process gets in.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    int year, month, day, hour, minute, second;
    std::int64_t micros;
};

Civil toCivil(std::int64_t utcMicros)
{
    std::int64_t seconds = utcMicros / kSecond;
    std::int64_t micros = utcMicros % kSecond;
    if (micros < 0) {
        micros += kSecond;
        --seconds;
    }
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d), static_cast<int>(rest / 3600),
            static_cast<int>(rest % 3600 / 60), static_cast<int>(rest % 60), micros};
}

std::string attribute(const char* name, const std::string& value)
{
    return std::string(" ") + name + "=\"" + value + "\"";
}

std::string localTime(std::int64_t micros)
{
    // camsim's cameras run on UTC.
    std::string text = formatIsoUtc(micros);
    text.pop_back();
    return text + "+00:00";
}

bool overlaps(const Recording& r, const RecordingQuery& q)
{
    if (q.startMicros && r.stopMicros < *q.startMicros)
        return false;
    if (q.stopMicros && r.startMicros > *q.stopMicros)
        return false;
    return true;
}

} // namespace

RecordingStore::RecordingStore(Now now) : now_(now ? std::move(now) : Now(systemNow))
{
    const std::int64_t start = now_();
    // Ten minutes back, on a quarter second, so that times carry a fraction.
    const std::int64_t base = (start / kSecond - 600) * kSecond + kSecond / 4;
    auto add = [&](std::int64_t from, std::int64_t to, bool running) {
        Recording r;
        r.diskId = running ? "NetworkShare" : "SD_DISK";
        r.startMicros = from;
        r.stopMicros = to;
        r.running = running;
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%04X", static_cast<unsigned>(0x1A00 + recordings_.size()));
        r.id = formatIdTime(from) + "_" + suffix + "_" + kMac;
        recordings_.push_back(r);
    };
    add(base, base + 3 * kSecond, false);                   // a continuous recording ...
    add(base + 3 * kSecond, base + 6 * kSecond, false);     // ... split in two
    add(base + 10 * kSecond, base + 13 * kSecond, false);   // after a gap of 4 s
    add(start - 30 * kSecond, start, true);                 // still recording, on the other disk
}

std::vector<Recording> RecordingStore::recordings() const
{
    auto copy = recordings_;
    const std::int64_t now = now_();
    for (auto& r : copy)
        if (r.running)
            r.stopMicros = std::max(r.startMicros, now);
    return copy;
}

std::optional<Recording> RecordingStore::find(const std::string& id) const
{
    for (const auto& r : recordings())
        if (r.id == id)
            return r;
    return std::nullopt;
}

std::string RecordingStore::diskListXml() const
{
    // Captured from an AXIS Companion Bullet LE, firmware 9.80.2.2, odd spacing included.
    return "<?xml version=\"1.0\"?>\n"
           "<root xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:noNamespaceSchemaLocation=\"http://www.axis.com/vapix/http_cgi/disk/list1.xsd\">\n"
           "<disks numberofdisks=\"2\" >  <disk diskid=\"SD_DISK\" name=\"\" totalsize=\"116109036\" "
           "freesize=\"63126240\" cleanuplevel=\"99\" cleanupmaxage=\"7000\" cleanuppolicy=\"fifo\" locked=\"no\" "
           "full=\"no\" readonly=\"no\" status=\"OK\" filesystem=\"ext4\" group=\"S0\" requiredfilesystem=\"none\" "
           "encryptionenabled=\"false\" diskencrypted=\"false\"/>\n"
           "  <disk diskid=\"NetworkShare\" name=\"\" totalsize=\"1073741824\" freesize=\"920987392\" "
           "cleanuplevel=\"99\" cleanupmaxage=\"7000\" cleanuppolicy=\"fifo\" locked=\"no\" full=\"no\" "
           "readonly=\"no\" status=\"OK\" filesystem=\"cifs\" group=\"S1\" requiredfilesystem=\"none\" "
           "encryptionenabled=\"false\" diskencrypted=\"false\"/>\n"
           "</disks> </root>\n";
}

std::string RecordingStore::recordListXml(const RecordingQuery& query) const
{
    const auto all = recordings();
    std::vector<Recording> chosen;
    for (const auto& r : all) {
        if (!query.ids.empty() && std::find(query.ids.begin(), query.ids.end(), r.id) == query.ids.end())
            continue;
        if (!query.diskId.empty() && query.diskId != "all" && query.diskId != r.diskId)
            continue;
        if (overlaps(r, query))
            chosen.push_back(r);
    }
    std::stable_sort(chosen.begin(), chosen.end(), [&](const Recording& a, const Recording& b) {
        return query.descending ? a.startMicros > b.startMicros : a.startMicros < b.startMicros;
    });
    if (query.maxResults && chosen.size() > *query.maxResults)
        chosen.resize(*query.maxResults);

    std::string xml = "<?xml version=\"1.0\"?>\n"
                      "<root xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                      "xsi:noNamespaceSchemaLocation=\"http://www.axis.com/vapix/http_cgi/recording/list1.xsd\">\n";
    xml += "<recordings" + attribute("totalnumberofrecordings", std::to_string(all.size())) +
           attribute("numberofrecordings", std::to_string(chosen.size())) + ">\n";
    for (const auto& r : chosen) {
        xml += "<recording" + attribute("diskid", r.diskId) + attribute("recordingid", r.id) +
               attribute("starttime", formatIsoUtc(r.startMicros)) +
               attribute("starttimelocal", localTime(r.startMicros)) +
               attribute("stoptime", formatIsoUtc(r.stopMicros)) +
               attribute("stoptimelocal", localTime(r.stopMicros)) + attribute("recordingtype", "continuous") +
               attribute("eventid", "continuous") + attribute("eventtrigger", "continuous") +
               attribute("recordingstatus", r.running ? "recording" : "completed") + attribute("source", "1") +
               attribute("locked", "No") + ">\n";
        xml += "<video" + attribute("mimetype", "video/x-h264") + attribute("width", std::to_string(r.width)) +
               attribute("height", std::to_string(r.height)) +
               attribute("framerate", std::to_string(r.fps) + ":1") +
               attribute("resolution", std::to_string(r.width) + "x" + std::to_string(r.height)) + "/>\n";
        xml += "</recording>\n";
    }
    xml += "</recordings>\n</root>\n";
    return xml;
}

std::optional<std::int64_t> parseIsoUtc(const std::string& text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 || used != 19)
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60)
        return std::nullopt;
    std::size_t i = 19;
    std::int64_t micros = 0;
    if (i < text.size() && text[i] == '.') {
        std::int64_t scale = 100000;
        ++i;
        const std::size_t first = i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            micros += (text[i] - '0') * scale;
            scale /= 10;
        }
        if (i == first)
            return std::nullopt;
    }
    if (i < text.size() && text[i] == 'Z')
        ++i;
    if (i != text.size())
        return std::nullopt;
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    return ((days * 24 + h) * 60 + mi) * 60 * kSecond + s * kSecond + micros;
}

std::string formatIsoUtc(std::int64_t micros)
{
    const Civil c = toCivil(micros);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", c.year, c.month, c.day, c.hour,
                  c.minute, c.second, static_cast<long long>(c.micros));
    return text;
}

std::string formatIdTime(std::int64_t micros)
{
    const Civil c = toCivil(micros);
    char text[24];
    std::snprintf(text, sizeof text, "%04d%02d%02d_%02d%02d%02d", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return text;
}

std::optional<std::int64_t> parseClockTime(const std::string& text)
{
    if (text.size() < 16 || text[8] != 'T')
        return std::nullopt;
    const std::string iso = text.substr(0, 4) + "-" + text.substr(4, 2) + "-" + text.substr(6, 2) + "T" +
                            text.substr(9, 2) + ":" + text.substr(11, 2) + ":" + text.substr(13);
    return parseIsoUtc(iso);
}

std::string formatClockTime(std::int64_t micros)
{
    const Civil c = toCivil(micros);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%03dZ", c.year, c.month, c.day, c.hour, c.minute,
                  c.second, static_cast<int>(c.micros / 1000));
    return text;
}

} // namespace Camsim
