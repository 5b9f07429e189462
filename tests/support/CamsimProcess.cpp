#include "CamsimProcess.h"

#include <cstdlib>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <json/json.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

#ifndef VAPIXCAM_BIN_DIR
#define VAPIXCAM_BIN_DIR "."
#endif

namespace TestSupport {

namespace {

constexpr std::size_t kMaxAnswerBytes = 16u * 1024u * 1024u;
constexpr std::chrono::seconds kReadyLimit{30};

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The value of a header (name in lower case), or empty.
std::string headerValue(const std::string& headers, const std::string& name)
{
    const std::string lowered = lower(headers);
    std::string::size_type at = 0;
    while ((at = lowered.find("\r\n" + name + ":", at)) != std::string::npos) {
        const std::string::size_type start = at + 2 + name.size() + 1;
        const std::string::size_type end = headers.find("\r\n", start);
        std::string value = headers.substr(start, end == std::string::npos ? end : end - start);
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    }
    return {};
}

Json::Value parseJson(const std::string& text, std::string& errors)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors))
        return Json::Value();
    return root;
}

} // namespace

std::string encodeUserInfo(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

PlainHttpAnswer plainHttpRequest(std::uint16_t port, const std::string& method,
                                 const std::string& target, const std::string& body,
                                 const std::string& contentType)
{
    PlainHttpAnswer answer;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        answer.error = std::string("socket: ") + std::strerror(errno);
        return answer;
    }
    timeval limit{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        answer.error = std::string("connect: ") + std::strerror(errno);
        close(fd);
        return answer;
    }
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                          std::to_string(port) + "\r\nConnection: close\r\n";
    if (!body.empty() || method == "POST" || method == "PUT")
        request += "Content-Type: " + contentType + "\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            answer.error = std::string("send: ") + std::strerror(errno);
            close(fd);
            return answer;
        }
        sent += static_cast<std::size_t>(n);
    }
    std::string raw;
    char buffer[8192];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            answer.error = std::string("recv: ") + std::strerror(errno);
            close(fd);
            return answer;
        }
        if (n == 0)
            break;
        raw.append(buffer, static_cast<std::size_t>(n));
        if (raw.size() > kMaxAnswerBytes) {
            answer.error = "answer larger than 16 MiB";
            close(fd);
            return answer;
        }
    }
    close(fd);

    const std::string::size_type headerEnd = raw.find("\r\n\r\n");
    if (raw.compare(0, 5, "HTTP/") != 0 || headerEnd == std::string::npos) {
        answer.error = "not an HTTP answer: " + raw.substr(0, 200);
        return answer;
    }
    const std::string::size_type space = raw.find(' ');
    try {
        answer.status = std::stoi(raw.substr(space + 1, 3));
    } catch (const std::exception&) {
        answer.error = "bad status line: " + raw.substr(0, raw.find("\r\n"));
        return answer;
    }
    answer.headers = raw.substr(0, headerEnd + 2);
    std::string payload = raw.substr(headerEnd + 4);
    // camsim always sends Content-Length (or closes after the body).
    if (!headerValue(answer.headers, "transfer-encoding").empty()) {
        answer.error = "unexpected Transfer-Encoding";
        answer.status = 0;
        return answer;
    }
    const std::string length = headerValue(answer.headers, "content-length");
    if (!length.empty()) {
        const std::size_t size = std::strtoul(length.c_str(), nullptr, 10);
        if (payload.size() < size) {
            answer.error = "body shorter than its Content-Length";
            answer.status = 0;
            return answer;
        }
        payload.resize(size);
    }
    answer.body = std::move(payload);
    return answer;
}

std::string CamsimProcess::toolsDirectory()
{
    const char* dir = std::getenv("VAPIXCAM_TOOLS_DIR");
    return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string(VAPIXCAM_BIN_DIR);
}

std::string CamsimProcess::executable()
{
    return toolsDirectory() + "/camsim";
}

bool CamsimProcess::available()
{
    return access(executable().c_str(), X_OK) == 0;
}

CamsimProcess::CamsimProcess(const CamsimOptions& options) : options_(options)
{
    std::vector<std::string> argv{executable(), "--http-port", "0", "--model", options.model,
                                  "--user", options.user + ":" + options.password};
    if (options.rtsp) {
        argv.insert(argv.end(), {"--rtsp-port", "0"});
    } else {
        argv.emplace_back("--no-rtsp");
    }
    if (!options.auth.empty())
        argv.insert(argv.end(), {"--auth", options.auth});
    if (options.https)
        argv.insert(argv.end(), {"--https-port", "0"});
    for (const std::string& f : options.faults)
        argv.insert(argv.end(), {"--fault", f});
    for (const std::string& p : options.params)
        argv.insert(argv.end(), {"--param", p});
    if (!options.requestLog.empty())
        argv.insert(argv.end(), {"--request-log", options.requestLog});
    argv.insert(argv.end(), options.extraArguments.begin(), options.extraArguments.end());

    process_ = std::make_unique<ChildProcess>(argv);
    const auto deadline = std::chrono::steady_clock::now() + kReadyLimit;
    std::string line;
    std::string seen;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !process_->readLine(line, left)) {
            process_->stop();
            throw std::runtime_error("camsim did not report ready; stdout:\n" + seen +
                                     "\nstderr:\n" + process_->stderrText());
        }
        seen += line + "\n";
        if (line.empty() || line.front() != '{')
            continue;
        std::string errors;
        const Json::Value ready = parseJson(line, errors);
        if (!ready.isObject() || !ready["ready"].asBool())
            continue;
        httpPort_ = static_cast<std::uint16_t>(ready["httpPort"].asUInt());
        rtspPort_ = ready["rtspPort"].isUInt() ? static_cast<std::uint16_t>(ready["rtspPort"].asUInt()) : 0;
        if (ready["httpsPort"].isUInt())
            httpsPort_ = static_cast<std::uint16_t>(ready["httpsPort"].asUInt());
        model_ = ready["model"].asString();
        break;
    }
    // Whatever camsim prints later is read and dropped, so a full pipe never
    // stalls it; the thread ends when camsim does.
    drain_ = std::thread([process = process_.get()] {
        std::string ignored;
        while (!process->readAll(ignored, std::chrono::hours(24)))
            ignored.clear();
    });
}

CamsimProcess::~CamsimProcess()
{
    if (process_)
        process_->stop();
    if (drain_.joinable())
        drain_.join();
}

std::string CamsimProcess::url(const std::string& user, const std::string& password,
                               const std::string& scheme) const
{
    const std::uint16_t port = scheme == "https" ? httpsPort_.value_or(0) : httpPort_;
    std::string userInfo;
    if (!user.empty()) {
        userInfo = encodeUserInfo(user);
        if (!password.empty())
            userInfo += ":" + encodeUserInfo(password);
        userInfo += "@";
    }
    return scheme + "://" + userInfo + "127.0.0.1:" + std::to_string(port);
}

std::vector<LoggedRequest> CamsimProcess::requests() const
{
    const PlainHttpAnswer answer = plainHttpRequest(httpPort_, "GET", "/camsim/requests");
    if (answer.status != 200)
        throw std::runtime_error("camsim request log: status " + std::to_string(answer.status) +
                                 " " + answer.error + " " + answer.body);
    std::string errors;
    const Json::Value log = parseJson(answer.body, errors);
    if (!log.isArray())
        throw std::runtime_error("camsim request log is not a JSON array: " + errors);
    std::vector<LoggedRequest> requests;
    for (const Json::Value& entry : log) {
        LoggedRequest r;
        r.method = entry["method"].asString();
        r.target = entry["target"].asString();
        r.status = entry["status"].asInt();
        r.withAuthorization =
            entry.isMember("authorization") ? entry["authorization"].asBool() : entry["authorized"].asBool();
        r.fault = entry["fault"].asString();
        requests.push_back(std::move(r));
    }
    return requests;
}

void CamsimProcess::injectFault(const std::string& path, const std::string& fault, int count) const
{
    Json::Value request(Json::objectValue);
    request["path"] = path;
    request["fault"] = fault;
    request["count"] = count;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    const PlainHttpAnswer answer =
        plainHttpRequest(httpPort_, "POST", "/camsim/faults", Json::writeString(writer, request));
    if (answer.status < 200 || answer.status > 299)
        throw std::runtime_error("camsim refused the fault " + fault + " for " + path +
                                 ": status " + std::to_string(answer.status) + " " +
                                 answer.error + " " + answer.body);
}

} // namespace TestSupport
