#include "AudioCgi.h"

#include <gtest/gtest.h>

using namespace Camsim;

// Bodies of audio/transmit.cgi as clients send them, fed split at every byte.
TEST(AudioBodyReader, ReadsEveryFramingSplitAnywhere)
{
    using F = BodyReader::Framing;
    using S = BodyReader::State;
    const struct {
        const char* name;
        F framing;
        std::uint64_t length;
        std::string wire;
        std::string body;
        S state;
    } cases[] = {
        {"Content-Length", F::Length, 5, "hello", "hello", S::Done},
        {"Content-Length: 0 (the authorization request)", F::Length, 0, "", "", S::Done},
        {"large Content-Length, client still sending", F::Length, 2147483647, "abc", "abc", S::Reading},
        {"chunked with extension and trailer", F::Chunked, 0, "3;x=1\r\nabc\r\nA\r\n0123456789\r\n0\r\nX-T: 1\r\n\r\n",
         "abc0123456789", S::Done},
        {"chunked, bare LF line ends", F::Chunked, 0, "2\nab\n0\n\n", "ab", S::Done},
        {"chunked, size not hex", F::Chunked, 0, "zz\r\nab\r\n", "", S::Error},
        {"chunked, data longer than its size", F::Chunked, 0, "2\r\nabc\r\n", "ab", S::Error},
        {"open-ended (no length)", F::UntilClose, 0, std::string("\xff\x7f\x00", 3), std::string("\xff\x7f\x00", 3),
         S::Reading},
    };
    for (const auto& c : cases) {
        for (std::size_t split = 0; split <= c.wire.size(); ++split) {
            SCOPED_TRACE(std::string(c.name) + " split at " + std::to_string(split));
            BodyReader reader(c.framing, c.length);
            std::string body;
            reader.feed(c.wire.data(), split, body);
            reader.feed(c.wire.data() + split, c.wire.size() - split, body);
            EXPECT_EQ(body, c.body);
            EXPECT_EQ(reader.state(), c.state);
        }
    }
}
