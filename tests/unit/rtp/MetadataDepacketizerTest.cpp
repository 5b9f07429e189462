#include <netkit/rtp/MetadataDepacketizer.h>

#include "support/RtpBuilder.h"

#include <gtest/gtest.h>

using namespace Orix::Utility;
using namespace TestSupport;

namespace {

// The empty document an Axis camera sends right after PLAY, split in three.
const std::string kPart1 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const std::string kPart2 = "<tt:MetadataStream xmlns:tt=\"http://www.onvif.org/ver10/schema\">\n";
const std::string kPart3 = "</tt:MetadataStream>\n";
const std::string kDoc = kPart1 + kPart2 + kPart3;

Bytes p(std::uint16_t seq, std::uint32_t ts, bool marker, const std::string& text)
{
    return rtp(seq, ts, marker, text, 98);
}

} // namespace

TEST(MetadataDepacketizer, JoinsDocumentsUpToTheMarker)
{
    const struct {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<std::string> documents;
        std::uint64_t dropped;
        std::vector<boost::system::error_code> errors = {};
        std::size_t maxFrameBytes = 0; // 0: the default
    } cases[] = {
        {"one document in three packets", {p(13114, 100, false, kPart1), p(13115, 100, false, kPart2), p(13116, 100, true, kPart3)},
         {kDoc}, 0},
        {"two documents", {p(1, 100, true, kDoc), p(2, 200, true, kDoc)}, {kDoc, kDoc}, 0},
        {"a lost middle packet drops the document, the next one comes through",
         {p(1, 100, false, kPart1), p(3, 100, true, kPart3), p(4, 200, true, kDoc)}, {kDoc}, 1},
        {"a lost first packet: the rest of that document is discarded",
         {p(1, 100, true, kDoc), p(3, 200, false, kPart2), p(4, 200, true, kPart3), p(5, 300, true, kDoc)}, {kDoc, kDoc}, 0},
        {"a new timestamp without marker drops the unfinished document", {p(1, 100, false, kPart1), p(2, 200, true, kDoc)},
         {kDoc}, 1},
        {"an oversized document is dropped until its marker",
         {p(1, 100, false, kPart1), p(2, 100, false, kPart2), p(3, 100, true, kPart3), p(4, 200, true, kPart3)}, {kPart3}, 1,
         {RtpError::frameTooLarge}, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DepacketizerLimits limits = MetadataDepacketizer::defaultLimits();
        if (c.maxFrameBytes)
            limits.maxFrameBytes = c.maxFrameBytes;
        MetadataDepacketizer depacketizer(limits);
        const Replay r = replay(depacketizer, c.packets);
        EXPECT_EQ(r.errors, c.errors);
        ASSERT_EQ(r.frames.size(), c.documents.size());
        for (std::size_t i = 0; i < c.documents.size(); ++i) {
            EXPECT_EQ(toString(r.frames[i].data), c.documents[i]);
            EXPECT_EQ(r.frames[i].codec, Codec::metadata);
        }
        EXPECT_EQ(depacketizer.stats().framesDropped, c.dropped);
    }
}
