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

} // namespace

TEST(MetadataDepacketizer, JoinsDocumentsUpToTheMarker)
{
    struct Case {
        const char* name;
        std::vector<Bytes> packets;
        std::vector<std::string> documents;
        std::uint64_t dropped;
    };
    const Case cases[] = {
        {"one document in three packets",
         {rtp(13114, 100, false, kPart1, 98), rtp(13115, 100, false, kPart2, 98), rtp(13116, 100, true, kPart3, 98)},
         {kPart1 + kPart2 + kPart3}, 0},
        {"two documents",
         {rtp(1, 100, true, kPart1 + kPart2 + kPart3, 98), rtp(2, 200, true, kPart1 + kPart2 + kPart3, 98)},
         {kPart1 + kPart2 + kPart3, kPart1 + kPart2 + kPart3}, 0},
        {"a lost middle packet drops the document, the next one comes through",
         {rtp(1, 100, false, kPart1, 98), rtp(3, 100, true, kPart3, 98), rtp(4, 200, true, kPart1 + kPart2 + kPart3, 98)},
         {kPart1 + kPart2 + kPart3}, 1},
        {"a lost first packet: the rest of that document is discarded",
         {rtp(1, 100, true, kPart1 + kPart2 + kPart3, 98), rtp(3, 200, false, kPart2, 98), rtp(4, 200, true, kPart3, 98),
          rtp(5, 300, true, kPart1 + kPart2 + kPart3, 98)},
         {kPart1 + kPart2 + kPart3, kPart1 + kPart2 + kPart3}, 0},
        {"a new timestamp without marker drops the unfinished document",
         {rtp(1, 100, false, kPart1, 98), rtp(2, 200, true, kPart1 + kPart2 + kPart3, 98)},
         {kPart1 + kPart2 + kPart3}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MetadataDepacketizer depacketizer;
        const Replay r = replay(depacketizer, c.packets);
        EXPECT_TRUE(r.errors.empty());
        ASSERT_EQ(r.frames.size(), c.documents.size());
        for (std::size_t i = 0; i < c.documents.size(); ++i) {
            EXPECT_EQ(toString(r.frames[i].data), c.documents[i]);
            EXPECT_EQ(r.frames[i].codec, Codec::metadata);
        }
        EXPECT_EQ(depacketizer.stats().framesDropped, c.dropped);
    }
}

TEST(MetadataDepacketizer, OversizedDocumentIsDroppedUntilItsMarker)
{
    DepacketizerLimits limits = MetadataDepacketizer::defaultLimits();
    limits.maxFrameBytes = 100;
    MetadataDepacketizer depacketizer(limits);
    const Replay r = replay(depacketizer, {rtp(1, 100, false, kPart1, 98), rtp(2, 100, false, kPart2, 98),
                                           rtp(3, 100, true, kPart3, 98), rtp(4, 200, true, kPart3, 98)});
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0], make_error_code(RtpError::frameTooLarge));
    EXPECT_EQ(depacketizer.stats().framesDropped, 1u);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(toString(r.frames[0].data), kPart3);
}
