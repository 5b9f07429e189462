// Multipart bodies as IO monitors (and MJPEG streams) send them, split where
// the fuzzer says, and the alarm report parser over every part.
//
// Input: one byte choosing the chunk size, then the body. Checks: the same
// parts come out whatever the chunking; every part and every held buffer
// stays within the bounds; the parsed port states are ports 1..999 with the
// direction asked for.
#include "FuzzSupport.h"
#include "IoAnswers.h"

#include <netkit/http/MultipartFilter.h>

using namespace Orix::Utility;

namespace {

constexpr std::size_t kMaxPart = 512;

std::vector<std::string> split(const std::string& body, std::size_t chunk)
{
    std::vector<std::string> parts;
    MultipartFilter filter(
        [&](MultipartPart&& part) {
            FUZZ_CHECK(part.body.size() <= kMaxPart);
            for (const char direction : {'I', 'O'}) {
                for (const auto& status : Vapixcam::parseMonitorPart(part.body, direction))
                    FUZZ_CHECK(status.port >= 1 && status.port <= 999);
            }
            parts.push_back(std::move(part.body));
        },
        kMaxPart);
    filter.setBoundary("ioboundary");
    for (std::size_t at = 0; at < body.size(); at += chunk) {
        (void)filter.push(body.data() + at, std::min(chunk, body.size() - at));
        FUZZ_CHECK(filter.buffered() <= kMaxPart + MultipartFilterBase::kMaxHeaderBytes + 512);
    }
    return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto whole = split(body, body.size() + 1);
    // Dropped parts depend on where a bound is crossed, so only streams
    // within the bounds must split the same way.
    if (body.size() <= kMaxPart)
        FUZZ_CHECK(split(body, chunk) == whole);
    for (const auto& status : Vapixcam::parsePortCheck(body))
        FUZZ_CHECK(status.port >= 1 && status.port <= 999);
    return 0;
}
