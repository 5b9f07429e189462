// The multipart filter fed the IO monitor stream of an Axis camera (the
// documented port.cgi?monitor= layout) split at every byte, the boundary
// taken from content types as cameras write them, and the size bounds.
#include "IoAnswers.h"

#include <gtest/gtest.h>
#include <netkit/http/MultipartFilter.h>

using Orix::Utility::MultipartError;
using Orix::Utility::MultipartFilter;
using Orix::Utility::MultipartPart;

namespace {

// port.cgi?monitor=1,3 as documented: steady states first, then changes,
// an empty keep-alive part, a trailing part still open.
const std::string kMonitorCrlf = "--ioboundary\r\nContent-Type: text/plain\r\n\r\n1I:H\r\n"
                                 "--ioboundary\r\nContent-Type: text/plain\r\n\r\n3I:L\r\n"
                                 "--ioboundary\r\nContent-Type: text/plain\r\n\r\n"
                                 "--ioboundary\r\nContent-Type: text/plain\r\n\r\n1I:/\r\n"
                                 "--ioboundary\r\nContent-Type: text/plain\r\n\r\n1I:\\\r\n"
                                 "--ioboundary\r\n";

std::vector<std::string> bodies(const std::string& stream, const std::vector<std::size_t>& cuts,
                                std::size_t maxPart = MultipartFilter::kDefaultMaxPartBytes)
{
    std::vector<std::string> out;
    MultipartFilter filter([&](MultipartPart&& part) { out.push_back(part.body); }, maxPart);
    EXPECT_FALSE(filter.setContentType("multipart/x-mixed-replace; boundary=ioboundary"));
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        EXPECT_FALSE(filter.push(stream.substr(from, cut - from)));
        from = cut;
    }
    EXPECT_FALSE(filter.push(stream.substr(from)));
    return out;
}

TEST(MultipartFilter, MonitorStreamGivesTheSamePartsAtEverySplit)
{
    std::string lfOnly;
    for (const char c : kMonitorCrlf)
        if (c != '\r')
            lfOnly += c;
    const struct {
        const char* name;
        std::string stream;
    } cases[] = {
        {"CRLF as documented", kMonitorCrlf},
        {"LF only", lfOnly},
        {"preamble before the first delimiter", "HTTP junk\r\n" + kMonitorCrlf},
    };
    const std::vector<std::string> expected{"1I:H", "3I:L", "", "1I:/", "1I:\\"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bodies(c.stream, {}), expected);
        for (std::size_t cut = 1; cut < c.stream.size(); ++cut)
            ASSERT_EQ(bodies(c.stream, {cut}), expected) << "split at " << cut;
        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i < c.stream.size(); ++i)
            everyByte.push_back(i);
        EXPECT_EQ(bodies(c.stream, everyByte), expected);
    }
}

TEST(MultipartFilter, PartHeadersAndTheClosingDelimiter)
{
    std::vector<MultipartPart> parts;
    MultipartFilter filter([&](MultipartPart&& part) { parts.push_back(std::move(part)); });
    ASSERT_FALSE(filter.setContentType("multipart/mixed;boundary=\"io;b\""));
    EXPECT_FALSE(filter.push("--io;b\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n\r\n2O:/\r\n--io;b--\r\n"
                             "--io;b\r\n\r\nafter the end\r\n--io;b\r\n"));
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].body, "2O:/");
    ASSERT_NE(parts[0].find("content-type"), nullptr);
    EXPECT_EQ(*parts[0].find("content-type"), "text/plain");
    EXPECT_EQ(filter.buffered(), 0u);
}

TEST(MultipartFilter, BoundaryFromContentTypes)
{
    const struct {
        const char* contentType;
        const char* boundary;
    } cases[] = {
        {"multipart/x-mixed-replace; boundary=ioboundary", "ioboundary"},
        {"multipart/x-mixed-replace;boundary=myboundary", "myboundary"},
        {"multipart/x-mixed-replace; charset=x; Boundary = \"a b;c\"", "a b;c"},
        {"multipart/x-mixed-replace", ""},
        {"multipart/x-mixed-replace; boundary=", ""},
        {"multipart/x-mixed-replace; boundary=\"unterminated", ""},
        {"text/plain", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Orix::Utility::multipartBoundary(c.contentType), c.boundary) << c.contentType;

    MultipartFilter filter(nullptr);
    EXPECT_EQ(filter.setContentType("text/plain"), make_error_code(MultipartError::noBoundary));
    EXPECT_EQ(filter.push("--x\r\n"), make_error_code(MultipartError::noBoundary));
}

TEST(MultipartFilter, OversizedPartsAreDroppedAndTheNextOneStillArrives)
{
    const std::string big(300, 'x');
    const struct {
        const char* name;
        std::string stream;
        MultipartError error;
    } cases[] = {
        {"body over the bound, delimiter later", "--b\r\n\r\n" + big + "\r\n--b\r\n\r\n1I:H\r\n--b\r\n",
         MultipartError::partTooLarge},
        {"body over the bound, no delimiter for long", "--b\r\n\r\n" + big + big + big + "\r\n--b\r\n\r\n1I:H\r\n--b\r\n",
         MultipartError::partTooLarge},
        {"endless header line", "--b\r\nX: " + std::string(9000, 'h') + "\r\n\r\nlost\r\n--b\r\n\r\n1I:H\r\n--b\r\n",
         MultipartError::headerTooLarge},
        {"endless delimiter line", "--b" + std::string(400, ' ') + "\r\n--b\r\n\r\n1I:H\r\n--b\r\n",
         MultipartError::malformedDelimiter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> got;
        MultipartFilter filter([&](MultipartPart&& part) { got.push_back(part.body); }, 256);
        filter.setBoundary("b");
        boost::system::error_code first;
        for (std::size_t at = 0; at < c.stream.size(); at += 100) {
            if (const auto e = filter.push(c.stream.substr(at, 100)); e && !first)
                first = e;
            EXPECT_LE(filter.buffered(), 256u + 9000u);
        }
        EXPECT_EQ(first, make_error_code(c.error));
        EXPECT_EQ(got, std::vector<std::string>{"1I:H"});
        EXPECT_EQ(filter.partsDropped(), 1u);
    }
}

// The monitor stream through the filter into the alarm report parser, split
// at every byte: the same port states come out.
TEST(MultipartFilter, MonitorPartsReadAsPortStatesAtEverySplit)
{
    for (std::size_t cut = 0; cut <= kMonitorCrlf.size(); ++cut) {
        std::vector<std::pair<unsigned, bool>> states;
        MultipartFilter filter([&](MultipartPart&& part) {
            for (const auto& s : Vapixcam::parseMonitorPart(part.body, 'I'))
                states.emplace_back(s.port, s.active);
        });
        filter.setBoundary("ioboundary");
        filter.push(kMonitorCrlf.substr(0, cut));
        filter.push(kMonitorCrlf.substr(cut));
        const std::vector<std::pair<unsigned, bool>> expected{{1, true}, {3, false}, {1, true}, {1, false}};
        ASSERT_EQ(states, expected) << "split at " << cut;
    }
}

} // namespace
