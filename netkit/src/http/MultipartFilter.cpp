#include <netkit/http/MultipartFilter.h>

#include <netkit/util/TextUtil.h>

namespace Orix::Utility {
namespace {

// RFC 2046 section 5.1.1: a boundary has 1 to 70 characters.
constexpr std::size_t kMaxBoundary = 70;
// Transport padding and the line end after a delimiter.
constexpr std::size_t kMaxDelimiterTail = 256;

class MultipartCategory : public boost::system::error_category {
public:
    const char* name() const noexcept override { return "netkit.multipart"; }

    std::string message(int value) const override
    {
        switch (static_cast<MultipartError>(value)) {
        case MultipartError::noBoundary: return "multipart content type without a boundary";
        case MultipartError::partTooLarge: return "multipart part exceeds the size bound";
        case MultipartError::headerTooLarge: return "multipart part headers exceed the size bound";
        case MultipartError::malformedDelimiter: return "multipart delimiter line without an end";
        }
        return "unknown multipart error " + std::to_string(value);
    }

    boost::system::error_condition default_error_condition(int) const noexcept override
    {
        return make_error_condition(boost::system::errc::protocol_error);
    }
};

} // namespace

const boost::system::error_category& multipartCategory()
{
    static const MultipartCategory category;
    return category;
}

boost::system::error_code make_error_code(MultipartError e)
{
    return {static_cast<int>(e), multipartCategory()};
}

const std::string* MultipartPart::find(std::string_view name) const
{
    for (const auto& header : headers) {
        if (text::iequals(header.name, name))
            return &header.value;
    }
    return nullptr;
}

std::string multipartBoundary(std::string_view contentType)
{
    // Parameters after the media type: "; name=value" or "; name="value"".
    std::size_t pos = contentType.find(';');
    while (pos != std::string_view::npos) {
        const auto eq = contentType.find('=', pos + 1);
        if (eq == std::string_view::npos)
            return {};
        const std::string_view name = text::trim(contentType.substr(pos + 1, eq - pos - 1));
        auto start = contentType.find_first_not_of(text::kBlanks, eq + 1);
        if (start == std::string_view::npos)
            return {};
        std::string_view value;
        std::size_t next = 0;
        if (contentType[start] == '"') {
            const auto close = contentType.find('"', start + 1);
            if (close == std::string_view::npos)
                return {};
            value = contentType.substr(start + 1, close - start - 1);
            next = contentType.find(';', close);
        } else {
            next = contentType.find(';', start);
            value = text::trim(contentType.substr(start, next == std::string_view::npos ? next : next - start));
        }
        if (text::iequals(name, "boundary"))
            return value.empty() || value.size() > kMaxBoundary ? std::string() : std::string(value);
        pos = next;
    }
    return {};
}

MultipartFilterBase::MultipartFilterBase(std::size_t maxPartBytes) : maxPartBytes_(maxPartBytes) {}

boost::system::error_code MultipartFilterBase::setContentType(std::string_view contentType)
{
    std::string boundary = multipartBoundary(contentType);
    if (boundary.empty())
        return MultipartError::noBoundary;
    setBoundary(std::move(boundary));
    return {};
}

void MultipartFilterBase::setBoundary(std::string boundary)
{
    dash_ = "--" + boundary;
    state_ = State::Preamble;
    buffer_.clear();
    scanned_ = 0;
    part_ = {};
    headerBytes_ = 0;
}

boost::system::error_code MultipartFilterBase::push(const char* data, std::size_t size)
{
    if (dash_.empty())
        return MultipartError::noBoundary;
    if (state_ == State::Epilogue)
        return {};
    buffer_.append(data, size);
    boost::system::error_code firstError;
    while (step(firstError)) {
    }
    return firstError;
}

// Where a delimiter starts at or after from: "--boundary" at the start of
// the buffer (which is always a line start in these states) or after a LF.
std::size_t MultipartFilterBase::findDelimiter(std::size_t from) const
{
    for (std::size_t pos = buffer_.find(dash_, from); pos != std::string::npos;
         pos = buffer_.find(dash_, pos + 1)) {
        if (pos == 0 || buffer_[pos - 1] == '\n')
            return pos;
    }
    return std::string::npos;
}

void MultipartFilterBase::drop(MultipartError error, boost::system::error_code& firstError)
{
    if (!firstError)
        firstError = error;
    ++dropped_;
    part_ = {};
    headerBytes_ = 0;
    scanned_ = 0;
    // What is buffered may already hold the next delimiter.
    state_ = State::Preamble;
}

// One transition; false when more bytes are needed.
bool MultipartFilterBase::step(boost::system::error_code& firstError)
{
    switch (state_) {
    case State::Preamble: {
        const auto pos = findDelimiter(scanned_);
        if (pos == std::string::npos) {
            // Keep what could still be the start of "\n--boundary".
            const std::size_t keep = std::min(buffer_.size(), dash_.size());
            buffer_.erase(0, buffer_.size() - keep);
            scanned_ = 0;
            return false;
        }
        buffer_.erase(0, pos);
        scanned_ = 0;
        state_ = State::Delimiter;
        return true;
    }
    case State::Delimiter: {
        // The buffer starts with "--boundary".
        if (buffer_.size() < dash_.size() + 2)
            return false;
        if (buffer_.compare(dash_.size(), 2, "--") == 0) {
            state_ = State::Epilogue;
            buffer_.clear();
            return false;
        }
        // The bound holds however the bytes arrived: a line end further
        // away counts as none.
        const auto end = buffer_.find('\n', dash_.size());
        if (end == std::string::npos || end > dash_.size() + kMaxDelimiterTail) {
            if (end == std::string::npos && buffer_.size() <= dash_.size() + kMaxDelimiterTail)
                return false;
            buffer_.erase(0, dash_.size());
            drop(MultipartError::malformedDelimiter, firstError);
            return true;
        }
        buffer_.erase(0, end + 1);
        part_ = {};
        headerBytes_ = 0;
        state_ = State::Headers;
        return true;
    }
    case State::Headers: {
        const auto end = buffer_.find('\n');
        if (end == std::string::npos) {
            if (headerBytes_ + buffer_.size() > kMaxHeaderBytes) {
                drop(MultipartError::headerTooLarge, firstError);
                return true;
            }
            return false;
        }
        headerBytes_ += end + 1;
        if (headerBytes_ > kMaxHeaderBytes) {
            drop(MultipartError::headerTooLarge, firstError);
            return true;
        }
        std::string_view line(buffer_.data(), end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty()) {
            state_ = State::Body;
            scanned_ = 0;
        } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
            part_.headers.push_back({std::string(text::trim(line.substr(0, colon))),
                                     std::string(text::trim(line.substr(colon + 1)))});
        }
        buffer_.erase(0, end + 1);
        return true;
    }
    case State::Body: {
        const auto pos = findDelimiter(scanned_);
        if (pos == std::string::npos) {
            if (buffer_.size() > maxPartBytes_ + dash_.size() + 2) {
                drop(MultipartError::partTooLarge, firstError);
                return true;
            }
            // The next search starts where a delimiter split by this push may begin.
            scanned_ = buffer_.size() > dash_.size() ? buffer_.size() - dash_.size() : 0;
            return false;
        }
        // The line break before the delimiter is part of it.
        std::size_t bodyEnd = pos;
        if (bodyEnd > 0 && buffer_[bodyEnd - 1] == '\n')
            --bodyEnd;
        if (bodyEnd > 0 && buffer_[bodyEnd - 1] == '\r')
            --bodyEnd;
        if (bodyEnd > maxPartBytes_) {
            buffer_.erase(0, pos);
            drop(MultipartError::partTooLarge, firstError);
            state_ = State::Delimiter;
            return true;
        }
        part_.body.assign(buffer_, 0, bodyEnd);
        buffer_.erase(0, pos);
        scanned_ = 0;
        state_ = State::Delimiter;
        ++parts_;
        MultipartPart part = std::move(part_);
        part_ = {};
        onPart(std::move(part));
        return true;
    }
    case State::Epilogue:
        buffer_.clear();
        return false;
    }
    return false;
}

} // namespace Orix::Utility
