// The Transport header of a SETUP answer.
//
// Checks: what parses is written back by buildTransportHeader in a form that
// parses to the same transport (ports, channels, ttl, ssrc, flags exactly; the
// text fields once normalised), and writing it again changes nothing.
#include "FuzzSupport.h"

#include <netkit/rtsp/RtspTransportHeader.h>

using namespace Orix::Utility::rtsp;

namespace {

bool sameNumbers(const TransportSpec& a, const TransportSpec& b)
{
    return a.tcp == b.tcp && a.multicast == b.multicast && a.interleaved == b.interleaved &&
           a.clientPort == b.clientPort && a.serverPort == b.serverPort && a.port == b.port &&
           a.ttl == b.ttl && a.ssrc == b.ssrc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    TransportSpec first;
    if (!parseTransportHeader(value, first))
        return 0;
    if (first.interleaved) {
        FUZZ_CHECK(first.interleaved->first <= 255 && first.interleaved->second <= 255);
    }

    const std::string written = buildTransportHeader(first);
    TransportSpec second;
    FUZZ_CHECK(parseTransportHeader(written, second));
    FUZZ_CHECK(sameNumbers(first, second));

    const std::string again = buildTransportHeader(second);
    TransportSpec third;
    FUZZ_CHECK(parseTransportHeader(again, third));
    FUZZ_CHECK(sameNumbers(second, third));
    FUZZ_CHECK(second.destination == third.destination);
    FUZZ_CHECK(second.mode == third.mode);
    FUZZ_CHECK(again == written || again == buildTransportHeader(third));
    return 0;
}
