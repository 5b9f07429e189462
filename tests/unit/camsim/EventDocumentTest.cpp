// The documents of the event metadata track against the ones captured from
// Axis cameras, and how a document is cut into RTP payloads.
#include "EventDocument.h"

#include <gtest/gtest.h>

using namespace Camsim;

namespace {

const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<tt:MetadataStream xmlns:tt=\"http://www.onvif.org/ver10/schema\">\n";

std::string envelope(const std::string& topic, const std::string& producer, const std::string& message)
{
    return kHead +
           "<tt:Event><wsnt:NotificationMessage xmlns:tns1=\"http://www.onvif.org/ver10/topics\" "
           "xmlns:tnsaxis=\"http://www.axis.com/2009/event/topics\" xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
           "xmlns:wsa5=\"http://www.w3.org/2005/08/addressing\"><wsnt:Topic "
           "Dialect=\"http://docs.oasis-open.org/wsn/t-1/TopicExpression/Simple\">" +
           topic + "</wsnt:Topic><wsnt:ProducerReference><wsa5:Address>uri://" + producer +
           "/ProducerReference</wsa5:Address></wsnt:ProducerReference><wsnt:Message>" + message +
           "</wsnt:Message></wsnt:NotificationMessage></tt:Event></tt:MetadataStream>\n";
}

} // namespace

TEST(EventDocument, NotificationsAsCamerasSendThem)
{
    const struct {
        const char* name;
        Notification notification;
        std::string producer;
        std::string expected;
    } cases[] = {
        // Captured (VMD 3, initial state).
        {"stateful, initial",
         {"tns1:RuleEngine/tnsaxis:VMD3/vmd3_video_1", "2019-04-17T09:30:44.352231Z", PropertyOperation::Initialized,
          {{"areaid", "0"}}, {{"active", "0"}}, ""},
         "94fbe18e-0af8-40d2-8539-67b6ea550c6e",
         envelope("tns1:RuleEngine/tnsaxis:VMD3/vmd3_video_1", "94fbe18e-0af8-40d2-8539-67b6ea550c6e",
                  "<tt:Message UtcTime=\"2019-04-17T09:30:44.352231Z\" PropertyOperation=\"Initialized\"><tt:Source>"
                  "<tt:SimpleItem Name=\"areaid\" Value=\"0\"/></tt:Source><tt:Key></tt:Key><tt:Data><tt:SimpleItem "
                  "Name=\"active\" Value=\"0\"/></tt:Data></tt:Message>")},
        // Captured (VMD 4 profile): an empty tt:Source.
        {"stateful, changed, no source",
         {"tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1", "2019-03-13T00:03:30.256685Z",
          PropertyOperation::Changed, {}, {{"active", "1"}}, ""},
         "94fbe18e-0af8-40d2-8539-67b6ea550c6e",
         envelope("tnsaxis:CameraApplicationPlatform/VMD/Camera1Profile1", "94fbe18e-0af8-40d2-8539-67b6ea550c6e",
                  "<tt:Message UtcTime=\"2019-03-13T00:03:30.256685Z\" PropertyOperation=\"Changed\"><tt:Source>"
                  "</tt:Source><tt:Key></tt:Key><tt:Data><tt:SimpleItem Name=\"active\" Value=\"1\"/></tt:Data>"
                  "</tt:Message>")},
        // Captured (storage alert): several data items in order.
        {"several data items",
         {"tnsaxis:Storage/Alert", "2020-06-02T20:35:42.477710Z", PropertyOperation::Initialized,
          {{"disk_id", "NetworkShare"}},
          {{"overall_health", "-3"}, {"alert", "0"}, {"wear", "-3"}, {"temperature", "-3"}}, ""},
         "755cc9bb-cf3a-410b-bd1b-0ec97c6d6256",
         envelope("tnsaxis:Storage/Alert", "755cc9bb-cf3a-410b-bd1b-0ec97c6d6256",
                  "<tt:Message UtcTime=\"2020-06-02T20:35:42.477710Z\" PropertyOperation=\"Initialized\"><tt:Source>"
                  "<tt:SimpleItem Name=\"disk_id\" Value=\"NetworkShare\"/></tt:Source><tt:Key></tt:Key><tt:Data>"
                  "<tt:SimpleItem Name=\"overall_health\" Value=\"-3\"/><tt:SimpleItem Name=\"alert\" Value=\"0\"/>"
                  "<tt:SimpleItem Name=\"wear\" Value=\"-3\"/><tt:SimpleItem Name=\"temperature\" Value=\"-3\"/>"
                  "</tt:Data></tt:Message>")},
        // A pulse has no PropertyOperation.
        {"pulse",
         {"tns1:VideoSource/tnsaxis:Tampering", "2024-01-01T00:00:00.000000Z", PropertyOperation::None,
          {{"channel", "1"}}, {{"tampering", "1"}}, ""},
         "00000000-0000-0000-0000-000000000000",
         envelope("tns1:VideoSource/tnsaxis:Tampering", "00000000-0000-0000-0000-000000000000",
                  "<tt:Message UtcTime=\"2024-01-01T00:00:00.000000Z\"><tt:Source><tt:SimpleItem Name=\"channel\" "
                  "Value=\"1\"/></tt:Source><tt:Key></tt:Key><tt:Data><tt:SimpleItem Name=\"tampering\" "
                  "Value=\"1\"/></tt:Data></tt:Message>")},
        // Element data follows the simple items; values are escaped.
        {"element data and escaping",
         {"tnsaxis:CameraApplicationPlatform/SIAlarmDetector", "2024-01-01T00:00:00.500000Z", PropertyOperation::None,
          {{"Source", "A&B \"1\""}}, {}, "<tt:ElementItem Name=\"Frame\"/>"},
         "p",
         envelope("tnsaxis:CameraApplicationPlatform/SIAlarmDetector", "p",
                  "<tt:Message UtcTime=\"2024-01-01T00:00:00.500000Z\"><tt:Source><tt:SimpleItem Name=\"Source\" "
                  "Value=\"A&amp;B &quot;1&quot;\"/></tt:Source><tt:Key></tt:Key><tt:Data>"
                  "<tt:ElementItem Name=\"Frame\"/></tt:Data></tt:Message>")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(notificationDocument(c.notification, c.producer), c.expected);
    }
    // Captured: the document right after PLAY.
    EXPECT_EQ(emptyMetadataDocument(), kHead + "</tt:MetadataStream>\n");
}

TEST(EventDocument, UtcTimeWithMicroseconds)
{
    const struct {
        long long micros;
        const char* text;
    } cases[] = {
        {1547538645206264LL, "2019-01-15T07:50:45.206264Z"},
        {1552435410256685LL, "2019-03-13T00:03:30.256685Z"},
        {1709251199999999LL, "2024-02-29T23:59:59.999999Z"},
        {0, "1970-01-01T00:00:00.000000Z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(utcTimeText(std::chrono::system_clock::time_point(std::chrono::microseconds(c.micros))), c.text);
    }
}

TEST(EventDocument, PayloadsEndWithTheMarker)
{
    const struct {
        std::size_t documentBytes;
        std::size_t maxPayload;
        std::vector<std::size_t> sizes;
    } cases[] = {
        {100, 1400, {100}},
        {1400, 1400, {1400}},
        {1401, 1400, {1400, 1}},
        {10, 3, {3, 3, 3, 1}},
        {3, 1, {1, 1, 1}},
        {5, 0, {1, 1, 1, 1, 1}}, // at least one byte a packet
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.documentBytes) + " in " + std::to_string(c.maxPayload));
        std::string document;
        for (std::size_t i = 0; i < c.documentBytes; ++i)
            document += static_cast<char>('a' + i % 26);
        const auto payloads = metadataPayloads(document, c.maxPayload);
        ASSERT_EQ(payloads.size(), c.sizes.size());
        std::string joined;
        for (std::size_t i = 0; i < payloads.size(); ++i) {
            EXPECT_EQ(payloads[i].bytes.size(), c.sizes[i]) << i;
            EXPECT_EQ(payloads[i].marker, i + 1 == payloads.size()) << i;
            joined += payloads[i].bytes;
        }
        EXPECT_EQ(joined, document);
    }
}
