#include "MetadataParser.h"

#include "support/FakeHost.h"
#include "support/RtpBuilder.h"

#include <gtest/gtest.h>
#include <netkit/rtp/MetadataDepacketizer.h>
#include <netkit/rtp/StreamFilter.h>

namespace Vapixcam {
void PrintTo(const EventStruct& e, std::ostream* os)
{
    *os << "{" << e.topic << " | " << e.utcTime << " | " << e.source << " | " << e.data << "}";
}
} // namespace Vapixcam

using Vapixcam::EventStruct;
using Vapixcam::NotificationReader;

namespace {

std::string document(const std::string& name)
{
    return TestSupport::readFile(TestSupport::dataPath("events/" + name + ".xml"));
}

// The tt:Event line of a captured document.
std::string eventLine(const std::string& name)
{
    const std::string text = document(name);
    const auto begin = text.find("<tt:Event>");
    return text.substr(begin, text.find("</tt:Event>") + 11 - begin);
}

std::string wrap(const std::string& events)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<tt:MetadataStream xmlns:tt=\"http://www.onvif.org/ver10/schema\">\n" +
           events + "</tt:MetadataStream>\n";
}

std::vector<EventStruct> readAll(const std::string& text, NotificationReader::Status expected = NotificationReader::Status::ok)
{
    NotificationReader reader;
    reader.feed(text.data(), text.size());
    reader.finish();
    EXPECT_EQ(reader.status(), expected) << reader.error();
    return reader.take();
}

const EventStruct kTampering{"Tampering", "2024-01-01T00:00:00.000000Z", "<tt:SimpleItem Name=\"channel\" Value=\"1\"/>",
                             "<tt:SimpleItem Name=\"tampering\" Value=\"1\"/>"};
const EventStruct kVmd3{"VMD3/vmd3_video_1", "2019-04-17T09:30:44.352231Z", "<tt:SimpleItem Name=\"areaid\" Value=\"0\"/>",
                        "<tt:SimpleItem Name=\"active\" Value=\"0\"/>"};
const EventStruct kPort{"IO/Port", "2019-01-15T07:50:45.206264Z", "<tt:SimpleItem Name=\"port\" Value=\"1\"/>",
                        "<tt:SimpleItem Name=\"state\" Value=\"0\"/>"};

// A notification as an indenting firmware might write it: attributes in
// another order, single quotes, a comment, line breaks inside the topic.
const char* const kReordered =
    "<tt:Event>\n  <wsnt:NotificationMessage xmlns:wsnt='http://docs.oasis-open.org/wsn/b-2'>\n"
    "    <wsnt:Topic Dialect='http://docs.oasis-open.org/wsn/t-1/TopicExpression/Simple'>\n"
    "      tns1:VideoSource/tnsaxis:Tampering\n    </wsnt:Topic>\n    <!-- <wsnt:Topic>not this</wsnt:Topic> -->\n"
    "    <wsnt:Message>\n      <tt:Message PropertyOperation='Changed' UtcTime='2019-05-03T10:15:30.250000Z'>\n"
    "        <tt:Data><tt:SimpleItem Value=\"1\" Name=\"tampering\"/></tt:Data>\n"
    "        <tt:Source><tt:SimpleItem Value=\"2\" Name=\"channel\"/></tt:Source>\n"
    "      </tt:Message>\n    </wsnt:Message>\n  </wsnt:NotificationMessage>\n</tt:Event>\n";

} // namespace

TEST(NotificationReader, CapturedDocumentsGiveTheirAxisNotifications)
{
    const struct {
        const char* file;
        std::vector<EventStruct> expected;
    } cases[] = {
        {"tampering_pulse", {kTampering}},
        {"vmd3_area0_initialized", {kVmd3}},
        {"io_port_initialized", {kPort}},
        {"vmd4_profile1_changed",
         {{"CameraApplicationPlatform/VMD/Camera1Profile1", "2019-03-13T00:03:30.256685Z", "",
           "<tt:SimpleItem Name=\"active\" Value=\"1\"/>"}}},
        {"storage_alert_initialized",
         {{"Storage/Alert", "2020-06-02T20:35:42.477710Z", "<tt:SimpleItem Name=\"disk_id\" Value=\"NetworkShare\"/>",
           "<tt:SimpleItem Name=\"overall_health\" Value=\"-3\"/><tt:SimpleItem Name=\"alert\" Value=\"0\"/>"
           "<tt:SimpleItem Name=\"wear\" Value=\"-3\"/><tt:SimpleItem Name=\"temperature\" Value=\"-3\"/>"}}},
        // ONVIF topics without an Axis node are not ours.
        {"motion_region_detector", {}},
        {"relay_initialized", {}},
        {"empty_after_play", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(readAll(document(c.file)), c.expected);
    }
}

TEST(NotificationReader, SeveralNotificationsComeInDocumentOrderWhateverTheSplit)
{
    const std::string text = wrap(eventLine("vmd3_area0_initialized") + "\n" + eventLine("relay_initialized") + "\n" +
                                  kReordered + eventLine("tampering_pulse") + eventLine("io_port_initialized") + "\n");
    const EventStruct reordered{"Tampering", "2019-05-03T10:15:30.250000Z",
                                "<tt:SimpleItem Value=\"2\" Name=\"channel\"/>",
                                "<tt:SimpleItem Value=\"1\" Name=\"tampering\"/>"};
    const std::vector<EventStruct> expected{kVmd3, reordered, kTampering, kPort};
    ASSERT_EQ(readAll(text), expected);

    for (std::size_t split = 1; split < text.size(); ++split) {
        NotificationReader reader;
        reader.feed(text.data(), split);
        reader.feed(text.data() + split, text.size() - split);
        reader.finish();
        ASSERT_EQ(reader.status(), NotificationReader::Status::ok) << "split at " << split << ": " << reader.error();
        ASSERT_EQ(reader.take(), expected) << "split at " << split;
    }
    NotificationReader bytewise;
    for (char c : text)
        bytewise.feed(&c, 1);
    bytewise.finish();
    EXPECT_EQ(bytewise.take(), expected);
}

TEST(MetadataParser, DocumentsSplitOverRtpPacketsGiveOneCallEach)
{
    const std::string first = document("vmd3_area0_initialized");
    const std::string second = wrap(eventLine("tampering_pulse") + eventLine("io_port_initialized"));
    for (std::size_t payload : {2u, 7u, 100u, 1400u}) {
        SCOPED_TRACE("payload " + std::to_string(payload));
        std::vector<std::vector<EventStruct>> calls;
        Vapixcam::MetadataParser parser(Orix::LoggerOwner(), [&](const std::vector<EventStruct>& events) { calls.push_back(events); });
        Orix::Utility::RtpStreamFilter filter(std::make_unique<Orix::Utility::MetadataDepacketizer>(), false, nullptr,
                                              [&](const Orix::Utility::Frame& frame) { parser.process(frame.data.data(), frame.data.size()); });
        std::uint16_t sequence = 100;
        std::uint32_t timestamp = 9000;
        for (const std::string* doc : {&first, &second}) {
            for (std::size_t pos = 0; pos < doc->size(); pos += payload) {
                const bool last = pos + payload >= doc->size();
                const auto packet = TestSupport::rtp(sequence++, timestamp, last, doc->substr(pos, payload), 107);
                filter.onRtpPacket(packet.data(), packet.size());
            }
            timestamp += 3000;
        }
        const std::vector<std::vector<EventStruct>> expected{{kVmd3}, {kTampering, kPort}};
        EXPECT_EQ(calls, expected);
    }
}

TEST(MetadataParser, BadDocumentsAreLoggedOnceAndKeepWhatCameBefore)
{
    const std::string good = eventLine("tampering_pulse");
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "<a>";
    const struct {
        const char* name;
        std::string text;
        std::size_t notifications;
        const char* log;
    } cases[] = {
        {"empty", "", 0, "Input is empty."},
        {"over the bound", wrap(good + "<!--" + std::string(NotificationReader::kMaxDocumentBytes, 'x') + "-->"), 0,
         "dropped: document larger than 262144 bytes"},
        {"cut in a tag", wrap(good).substr(0, wrap(good).size() - 30), 1, "document ends inside"},
        {"end tag of another element", wrap(good + "<tt:Event></tt:Source></tt:Event>"), 1, "</tt:Source> does not close <tt:Event>"},
        {"unquoted attribute", wrap(good + "<tt:Message UtcTime=2019/>"), 1, "is not quoted"},
        {"nested too deep", wrap(good + deep), 1, "nested deeper than 32"},
        {"binary", std::string("\x00\x01<\xff\xfe>\x80", 7), 0, "Malformed metadata document"},
        {"stray lt", wrap("<<<<"), 0, "after '<'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto logger = std::make_shared<TestSupport::CapturingLogger>();
        std::size_t received = 0;
        Vapixcam::MetadataParser parser(Orix::LoggerOwner(logger), [&](const std::vector<EventStruct>& events) {
            received += events.size();
        });
        parser.process(reinterpret_cast<const std::uint8_t*>(c.text.data()), c.text.size());
        EXPECT_EQ(received, c.notifications);
        EXPECT_EQ(logger->entries().size(), 1u) << logger->all();
        EXPECT_TRUE(logger->contains(c.log)) << logger->all();
    }
}
