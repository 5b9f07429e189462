#pragma once
// Checks and conversions shared by the HTTP client's one-shot requests and
// its long-lived streams.
#include <boost/system/error_code.hpp>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Orix::http::detail {

// Limits of reading an answer, the same for requests and streams.
inline constexpr std::uint32_t kMaxHeaderBytes = 64 * 1024;
// A fresh challenge is answered once; stale re-challenges (RFC 7616 section
// 3.3) may follow, but never without end.
inline constexpr int kMaxAuthRounds = 3;
// Interim 1xx answers skipped before the real one.
inline constexpr int kMaxInterimResponses = 8;

// A header value without CR, LF or NUL.
bool validFieldValue(std::string_view text);
// An RFC 9110 token (method, header name).
bool validToken(std::string_view text);
// The request target in origin form; an absolute URL is cut down to its
// path. None for a target that cannot go on a request line.
std::optional<std::string> originForm(const std::string& uri);
// A Beast read error as the client reports it: eof for a connection closed
// before a complete answer, responseTooLarge for a limit, malformedResponse
// for the rest; other errors unchanged.
boost::system::error_code readError(const boost::system::error_code& ec);

} // namespace Orix::http::detail
