#include "HttpMessage.h"

#include <cctype>

namespace Camsim {

std::string HttpRequest::path() const
{
    const auto q = target.find('?');
    return q == std::string::npos ? target : target.substr(0, q);
}

std::string HttpRequest::query() const
{
    const auto q = target.find('?');
    return q == std::string::npos ? std::string() : target.substr(q + 1);
}

std::string HttpRequest::header(const std::string& name) const
{
    for (const auto& h : headers) {
        if (iequals(h.first, name))
            return h.second;
    }
    return {};
}

bool HttpRequest::hasHeader(const std::string& name) const
{
    for (const auto& h : headers) {
        if (iequals(h.first, name))
            return true;
    }
    return false;
}

HttpResponse HttpResponse::text(int status, std::string body, std::string contentType)
{
    HttpResponse r;
    r.status = status;
    r.body = std::move(body);
    r.contentType = std::move(contentType);
    return r;
}

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Request Entity Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Unknown";
    }
}

bool iequals(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string toLower(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace Camsim
