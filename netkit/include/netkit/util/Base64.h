#pragma once
// Base64 (RFC 4648, standard alphabet with padding), as HTTP Basic
// credentials, the RTSP-over-HTTP tunnel and SDP parameter sets use it.
#include <string>
#include <string_view>

namespace Orix::Utility {

std::string base64Encode(std::string_view data);
// False, and out unchanged, on characters outside the alphabet or a bad length.
bool base64Decode(std::string_view text, std::string& out);

} // namespace Orix::Utility
