#include <netkit/rtsp/RtspStreamReader.h>

#include <netkit/util/TextUtil.h>

#include <algorithm>
#include <cstring>

namespace Orix::Utility::rtsp {
namespace {

// Header lines may end in a stray CR (LF-only servers that add one).
std::string_view trimLine(std::string_view s)
{
    return text::trim(s, " \t\r");
}

bool isProtocol(std::string_view token)
{
    return token.rfind("RTSP/", 0) == 0 || token.rfind("HTTP/", 0) == 0;
}

bool parseStartLine(std::string_view line, RtspMessage& out)
{
    std::size_t sp1 = line.find(' ');
    if (sp1 == std::string_view::npos || sp1 == 0)
        return false;
    std::string_view first = line.substr(0, sp1);
    std::string_view rest = line.substr(sp1 + 1);
    if (isProtocol(first)) {
        // "RTSP/1.0 200 OK"; the reason may be empty or hold spaces.
        std::size_t sp2 = rest.find(' ');
        std::string_view code = rest.substr(0, sp2);
        if (code.size() != 3 || !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        out.isRequest = false;
        out.protocol = std::string(first);
        out.status = static_cast<unsigned>((code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0'));
        out.reason = sp2 == std::string_view::npos ? std::string() : std::string(trimLine(rest.substr(sp2 + 1)));
        return out.status >= 100;
    }
    // "ANNOUNCE rtsp://... RTSP/1.0"
    std::size_t sp2 = rest.rfind(' ');
    if (sp2 == std::string_view::npos || !isProtocol(trimLine(rest.substr(sp2 + 1))))
        return false;
    out.isRequest = true;
    out.method = std::string(first);
    out.uri = std::string(trimLine(rest.substr(0, sp2)));
    out.protocol = std::string(trimLine(rest.substr(sp2 + 1)));
    return !out.uri.empty();
}

bool parseLength(std::string_view text, std::size_t& out)
{
    text = trimLine(text);
    if (text.empty() || text.size() > 12)
        return false;
    std::size_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<std::size_t>(c - '0');
    }
    out = n;
    return true;
}

} // namespace

boost::system::error_code parseHeaderBlock(std::string_view block, RtspMessage& out)
{
    RtspMessage message;
    bool first = true;
    while (!block.empty()) {
        std::size_t nl = block.find('\n');
        std::string_view line = block.substr(0, nl);
        block = nl == std::string_view::npos ? std::string_view{} : block.substr(nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            if (!parseStartLine(line, message))
                return make_error_code(error::protocolViolation);
            first = false;
            continue;
        }
        if (line.empty())
            break;
        if (line.front() == ' ' || line.front() == '\t') {
            // Folded continuation (RFC 2616 §2.2); a lone stray blank line
            // after a header is tolerated the same way.
            std::string_view more = trimLine(line);
            if (!message.headers.empty() && !more.empty()) {
                std::string& value = message.headers.back().value;
                if (!value.empty()) // "Name:" then the value on the next line
                    value += ' ';
                value += more;
            }
            continue;
        }
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return make_error_code(error::protocolViolation);
        std::string_view name = trimLine(line.substr(0, colon));
        if (name.empty()) // ": x", or only blanks before the colon
            return make_error_code(error::protocolViolation);
        message.headers.push_back({std::string(name), std::string(trimLine(line.substr(colon + 1)))});
    }
    if (first)
        return make_error_code(error::protocolViolation);
    out = std::move(message);
    return {};
}

boost::system::error_code RtspStreamReader::fail(error e)
{
    state_ = State::Failed;
    error_ = make_error_code(e);
    header_.clear();
    frame_.clear();
    return error_;
}

boost::system::error_code RtspStreamReader::finishHeader(bool& keepGoing, Visitor& visitor)
{
    RtspMessage message;
    if (auto ec = parseHeaderBlock(header_, message))
        return fail(error::protocolViolation);
    header_.clear();
    scanFrom_ = 0;
    std::size_t length = 0;
    if (headerOnlyNext_) {
        headerOnlyNext_ = false;
    } else if (const std::string* cl = message.find("Content-Length")) {
        if (!parseLength(*cl, length))
            return fail(error::protocolViolation);
        if (length > limits_.maxBodyBytes)
            return fail(error::messageTooLarge);
    }
    if (length == 0) {
        state_ = State::Idle;
        keepGoing = visitor.onMessage(std::move(message));
        return {};
    }
    message_ = std::move(message);
    message_.body.reserve(length);
    bodyWanted_ = length;
    state_ = State::Body;
    return {};
}

boost::system::error_code RtspStreamReader::feed(const std::uint8_t* data, std::size_t size, Visitor& visitor)
{
    const std::uint8_t* p = data;
    const std::uint8_t* end = data + size;
    bool keepGoing = true;
    while (p < end && keepGoing) {
        switch (state_) {
        case State::Failed:
            return error_;
        case State::Idle:
            if (*p == '$') {
                state_ = State::FrameHeader;
                frameHeaderHave_ = 0;
                ++p;
            } else if (*p == '\r' || *p == '\n') {
                ++p; // stray line ends between messages
            } else if (*p >= 'A' && *p <= 'Z') {
                state_ = State::Header;
                header_.clear();
                scanFrom_ = 0;
            } else {
                return fail(error::protocolViolation);
            }
            break;
        case State::Header: {
            // Look for the blank line, CRLF CRLF or LF LF, across splits.
            const std::uint8_t* lf = static_cast<const std::uint8_t*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            const std::uint8_t* take = lf ? lf + 1 : end;
            if (header_.size() + static_cast<std::size_t>(take - p) > limits_.maxHeaderBytes)
                return fail(error::messageTooLarge);
            header_.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(take - p));
            p = take;
            if (!lf)
                break;
            // header_ ends with '\n': is the line before it empty?
            std::size_t n = header_.size();
            bool blank = (n >= 2 && header_[n - 2] == '\n') ||
                         (n >= 3 && header_[n - 2] == '\r' && header_[n - 3] == '\n');
            if (blank) {
                if (auto ec = finishHeader(keepGoing, visitor))
                    return ec;
            }
            break;
        }
        case State::Body: {
            std::size_t take = std::min(bodyWanted_ - message_.body.size(), static_cast<std::size_t>(end - p));
            message_.body.append(reinterpret_cast<const char*>(p), take);
            p += take;
            if (message_.body.size() == bodyWanted_) {
                state_ = State::Idle;
                keepGoing = visitor.onMessage(std::move(message_));
                message_ = RtspMessage{};
            }
            break;
        }
        case State::FrameHeader:
            frameHeader_[frameHeaderHave_++] = *p++;
            if (frameHeaderHave_ == 3) {
                frameWanted_ = (static_cast<std::size_t>(frameHeader_[1]) << 8) | frameHeader_[2];
                frame_.clear();
                if (frameWanted_ == 0) {
                    state_ = State::Idle;
                    keepGoing = visitor.onInterleaved(frameHeader_[0], nullptr, 0);
                } else {
                    state_ = State::FramePayload;
                }
            }
            break;
        case State::FramePayload: {
            std::size_t available = static_cast<std::size_t>(end - p);
            if (frame_.empty() && available >= frameWanted_) {
                // Whole payload in this read: hand it over without copying.
                const std::uint8_t* payload = p;
                p += frameWanted_;
                state_ = State::Idle;
                keepGoing = visitor.onInterleaved(frameHeader_[0], payload, frameWanted_);
                break;
            }
            std::size_t take = std::min(frameWanted_ - frame_.size(), available);
            frame_.append(reinterpret_cast<const char*>(p), take);
            p += take;
            if (frame_.size() == frameWanted_) {
                state_ = State::Idle;
                keepGoing = visitor.onInterleaved(frameHeader_[0], reinterpret_cast<const std::uint8_t*>(frame_.data()), frame_.size());
            }
            break;
        }
        }
    }
    return error_;
}

} // namespace Orix::Utility::rtsp
