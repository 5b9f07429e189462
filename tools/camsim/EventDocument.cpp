#include "EventDocument.h"

#include "ParamFormat.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace Camsim {

namespace {

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr const char* kStreamOpen = "<tt:MetadataStream xmlns:tt=\"http://www.onvif.org/ver10/schema\">\n";
constexpr const char* kStreamClose = "</tt:MetadataStream>\n";
constexpr const char* kNotificationOpen =
    "<wsnt:NotificationMessage xmlns:tns1=\"http://www.onvif.org/ver10/topics\" "
    "xmlns:tnsaxis=\"http://www.axis.com/2009/event/topics\" xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
    "xmlns:wsa5=\"http://www.w3.org/2005/08/addressing\">";
constexpr const char* kTopicOpen =
    "<wsnt:Topic Dialect=\"http://docs.oasis-open.org/wsn/t-1/TopicExpression/Simple\">";

std::string items(const std::vector<SimpleItem>& list)
{
    std::string s;
    for (const auto& item : list)
        s += "<tt:SimpleItem Name=\"" + xmlEscape(item.name) + "\" Value=\"" + xmlEscape(item.value) + "\"/>";
    return s;
}

const char* operationName(PropertyOperation op)
{
    switch (op) {
    case PropertyOperation::None:
        return nullptr;
    case PropertyOperation::Initialized:
        return "Initialized";
    case PropertyOperation::Changed:
        return "Changed";
    }
    return nullptr;
}

} // namespace

std::string emptyMetadataDocument() { return std::string(kDeclaration) + kStreamOpen + kStreamClose; }

std::string notificationDocument(const Notification& n, const std::string& producer)
{
    std::string s = std::string(kDeclaration) + kStreamOpen;
    s += "<tt:Event>";
    s += kNotificationOpen;
    s += kTopicOpen + xmlEscape(n.topic) + "</wsnt:Topic>";
    s += "<wsnt:ProducerReference><wsa5:Address>uri://" + producer +
         "/ProducerReference</wsa5:Address></wsnt:ProducerReference>";
    s += "<wsnt:Message><tt:Message UtcTime=\"" + n.utcTime + "\"";
    if (const char* op = operationName(n.operation))
        s += std::string(" PropertyOperation=\"") + op + "\"";
    s += ">";
    s += "<tt:Source>" + items(n.source) + "</tt:Source>";
    s += "<tt:Key></tt:Key>";
    s += "<tt:Data>" + items(n.data) + n.elementData + "</tt:Data>";
    s += "</tt:Message></wsnt:Message></wsnt:NotificationMessage></tt:Event>";
    return s + kStreamClose;
}

std::string utcTimeText(std::chrono::system_clock::time_point time)
{
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char out[64];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(micros % 1000000));
    return out;
}

std::vector<RtpPayload> metadataPayloads(const std::string& document, std::size_t maxPayload)
{
    maxPayload = std::max<std::size_t>(1, maxPayload);
    std::vector<RtpPayload> out;
    for (std::size_t at = 0; at < document.size(); at += maxPayload)
        out.push_back({document.substr(at, maxPayload), false});
    if (out.empty())
        out.push_back({std::string(), false});
    out.back().marker = true;
    return out;
}

std::string metadataSdpLines(const std::string& control)
{
    const std::string pt = std::to_string(kMetadataPayloadType);
    return "m=application 0 RTP/AVP " + pt + "\r\nc=IN IP4 0.0.0.0\r\na=rtpmap:" + pt +
           " vnd.onvif.metadata/90000\r\na=ts-refclk:local\r\na=mediaclk:sender\r\na=control:" + control + "\r\n";
}

} // namespace Camsim
