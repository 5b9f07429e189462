#include "JsonApi.h"

#include <json/reader.h>

#include <cctype>
#include <memory>

namespace Camsim {

OrderedJson OrderedJson::array()
{
    OrderedJson v;
    v.kind_ = Kind::Array;
    return v;
}

OrderedJson OrderedJson::string(const std::string& text)
{
    OrderedJson v;
    v.kind_ = Kind::Scalar;
    v.scalar_ = jsonQuote(text);
    return v;
}

OrderedJson OrderedJson::boolean(bool value)
{
    OrderedJson v;
    v.kind_ = Kind::Scalar;
    v.scalar_ = value ? "true" : "false";
    return v;
}

OrderedJson OrderedJson::number(long long value)
{
    OrderedJson v;
    v.kind_ = Kind::Scalar;
    v.scalar_ = std::to_string(value);
    return v;
}

OrderedJson& OrderedJson::add(const std::string& key, OrderedJson value)
{
    members_.emplace_back(key, std::move(value));
    return *this;
}

OrderedJson& OrderedJson::push(OrderedJson value)
{
    return add({}, std::move(value));
}

std::string OrderedJson::text(int level) const
{
    if (kind_ == Kind::Scalar)
        return scalar_;
    const char open = kind_ == Kind::Object ? '{' : '[';
    const char close = kind_ == Kind::Object ? '}' : ']';
    if (members_.empty())
        return std::string(1, open) + close;
    const std::string inner(static_cast<std::size_t>(level + 1) * 2, ' ');
    std::string out(1, open);
    out += '\n';
    for (std::size_t i = 0; i < members_.size(); ++i) {
        out += inner;
        if (kind_ == Kind::Object)
            out += jsonQuote(members_[i].first) + ": ";
        out += members_[i].second.text(level + 1);
        out += i + 1 < members_.size() ? ",\n" : "\n";
    }
    out += std::string(static_cast<std::size_t>(level) * 2, ' ');
    out += close;
    return out;
}

std::string jsonQuote(const std::string& text)
{
    static const char* hex = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

bool parseJsonApiRequest(const std::string& body, JsonApiRequest& request, JsonApiError& error)
{
    Json::Value parsed;
    std::string errors;
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = 32;
    builder["collectComments"] = false;
    builder["rejectDupKeys"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(body.data(), body.data() + body.size(), &parsed, &errors) || !parsed.isObject()) {
        error = {kJsonInvalid, "Invalid JSON"};
        return false;
    }
    const Json::Value& root = parsed; // const: lookups must not add members
    // Echo what can be echoed even when the request is refused.
    if (root["context"].isString())
        request.context = root["context"].asString();
    if (root["method"].isString())
        request.method = root["method"].asString();
    if (root["apiVersion"].isString())
        request.apiVersion = root["apiVersion"].asString();

    if (!root.isMember("apiVersion")) {
        error = {kJsonParameterMissing, "Required parameter missing: apiVersion"};
        return false;
    }
    if (!root["apiVersion"].isString()) {
        error = {kJsonInvalidParameter, "Invalid parameter value: apiVersion"};
        return false;
    }
    if (!root.isMember("method")) {
        error = {kJsonParameterMissing, "Required parameter missing: method"};
        return false;
    }
    if (!root["method"].isString()) {
        error = {kJsonInvalidParameter, "Invalid parameter value: method"};
        return false;
    }
    if (root.isMember("context") && !root["context"].isString()) {
        error = {kJsonInvalidParameter, "Invalid parameter value: context"};
        return false;
    }
    if (root.isMember("params")) {
        if (!root["params"].isObject()) {
            error = {kJsonInvalidParameter, "Invalid parameter value: params"};
            return false;
        }
        request.params = root["params"];
    }
    return true;
}

namespace {

// "1.10" -> {1, 10}; false unless both parts are 1-4 digits.
bool splitVersion(const std::string& text, int& major, int& minor)
{
    const auto dot = text.find('.');
    if (dot == std::string::npos)
        return false;
    auto number = [](const std::string& s, int& out) {
        if (s.empty() || s.size() > 4)
            return false;
        out = 0;
        for (const char c : s) {
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return false;
            out = out * 10 + (c - '0');
        }
        return true;
    };
    return number(text.substr(0, dot), major) && number(text.substr(dot + 1), minor);
}

std::string envelope(const std::string& apiVersion, const JsonApiRequest& request,
                     const std::string& key, const OrderedJson& value)
{
    OrderedJson answer;
    answer.add("apiVersion", OrderedJson::string(apiVersion));
    if (request.context)
        answer.add("context", OrderedJson::string(*request.context));
    if (!request.method.empty())
        answer.add("method", OrderedJson::string(request.method));
    answer.add(key, value);
    return answer.text() + "\n";
}

} // namespace

bool jsonApiVersionServed(const std::string& requested, const std::string& supported)
{
    int rMajor = 0, rMinor = 0, sMajor = 0, sMinor = 0;
    if (!splitVersion(requested, rMajor, rMinor) || !splitVersion(supported, sMajor, sMinor))
        return false;
    return rMajor == sMajor && rMinor <= sMinor;
}

std::string jsonApiData(const std::string& apiVersion, const JsonApiRequest& request,
                        const OrderedJson& data)
{
    return envelope(apiVersion, request, "data", data);
}

std::string jsonApiError(const std::string& apiVersion, const JsonApiRequest& request,
                         const JsonApiError& error)
{
    OrderedJson e;
    e.add("code", OrderedJson::number(error.code));
    e.add("message", OrderedJson::string(error.message));
    return envelope(apiVersion, request, "error", e);
}

} // namespace Camsim
