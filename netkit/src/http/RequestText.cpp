#include "http/RequestText.h"

#include <netkit/http/HttpError.h>
#include <netkit/util/TextUtil.h>

#include <boost/asio/error.hpp>
#include <boost/beast/http/error.hpp>

namespace Orix::http::detail {

namespace bhttp = boost::beast::http;
using Utility::text::iequals;

bool validFieldValue(std::string_view text)
{
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '\0')
            return false;
    }
    return true;
}

bool validToken(std::string_view text)
{
    if (text.empty())
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || std::string_view("\"(),/:;<=>?@[\\]{}").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

std::optional<std::string> originForm(const std::string& uri)
{
    std::string target = uri;
    for (const char* scheme : {"http://", "https://"}) {
        const std::string_view prefix(scheme);
        if (target.size() >= prefix.size() && iequals(std::string_view(target).substr(0, prefix.size()), prefix)) {
            const auto slash = target.find('/', prefix.size());
            target = slash == std::string::npos ? "/" : target.substr(slash);
            break;
        }
    }
    if (target.empty())
        target = "/";
    if (target.front() != '/')
        return std::nullopt;
    for (const char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f)
            return std::nullopt;
    }
    return target;
}

boost::system::error_code readError(const boost::system::error_code& ec)
{
    if (ec.category() != bhttp::make_error_code(bhttp::error::end_of_stream).category())
        return ec;
    switch (static_cast<bhttp::error>(ec.value())) {
    case bhttp::error::end_of_stream:
    case bhttp::error::partial_message:
        // The camera closed the connection before a complete answer.
        return boost::asio::error::eof;
    case bhttp::error::body_limit:
    case bhttp::error::header_limit:
    case bhttp::error::buffer_overflow:
        return error::responseTooLarge;
    default:
        return error::malformedResponse;
    }
}

} // namespace Orix::http::detail
