#pragma once
// The envelope of the newer VAPIX JSON services (lightcontrol.cgi,
// firmwaremanagement.cgi, ...): a POSTed object with "apiVersion",
// "context", "method" and "params"; an answer that echoes apiVersion,
// context and method and carries either "data" or
// "error": {"code", "message"}, with HTTP 200 either way.
//
// Answers are written here member by member, in the order the cameras use,
// with two-space indentation, rather than through JsonCpp's writer, which
// sorts keys.
#include <json/value.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Camsim {

// Error codes the JSON services share (1xxx: the camera's fault, 2xxx: the
// client's).
enum JsonApiErrorCode : int {
    kJsonInternalError = 1100,
    kJsonUnsupportedVersion = 2100,
    kJsonInvalid = 2101,
    kJsonMethodNotSupported = 2102,
    kJsonParameterMissing = 2103,
    kJsonInvalidParameter = 2104,
};

// A JSON value whose object members keep their insertion order.
class OrderedJson {
public:
    OrderedJson() : kind_(Kind::Object) {}
    static OrderedJson object() { return OrderedJson(); }
    static OrderedJson array();
    static OrderedJson string(const std::string& text);
    static OrderedJson boolean(bool value);
    static OrderedJson number(long long value);

    // Objects: appends a member. Arrays: appends an item (key ignored).
    OrderedJson& add(const std::string& key, OrderedJson value);
    OrderedJson& push(OrderedJson value);

    // Pretty text, two spaces per level, starting at `level`.
    std::string text(int level = 0) const;

private:
    enum class Kind { Object, Array, Scalar };
    Kind kind_;
    std::string scalar_; // the JSON text of a scalar
    std::vector<std::pair<std::string, OrderedJson>> members_;
};

// A JSON string literal with the escapes RFC 8259 §7 requires.
std::string jsonQuote(const std::string& text);

struct JsonApiRequest {
    std::string apiVersion;
    std::optional<std::string> context; // echoed only when the request had one
    std::string method;
    Json::Value params{Json::objectValue};
};

struct JsonApiError {
    int code = 0;
    std::string message;
};

// Parses a request body. On failure `error` holds the answer's error and
// `request` whatever could be read (for the echo).
bool parseJsonApiRequest(const std::string& body, JsonApiRequest& request, JsonApiError& error);

// Whether a request's "major.minor" is served by an implementation of
// `supported` ("1.1" serves 1.0 and 1.1, not 1.2 or 2.0).
bool jsonApiVersionServed(const std::string& requested, const std::string& supported);

// The answer texts.
std::string jsonApiData(const std::string& apiVersion, const JsonApiRequest& request,
                        const OrderedJson& data);
std::string jsonApiError(const std::string& apiVersion, const JsonApiRequest& request,
                         const JsonApiError& error);

} // namespace Camsim
