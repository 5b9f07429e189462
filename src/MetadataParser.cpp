#include "MetadataParser.h"

#include <optional>
#include <netkit/util/TextUtil.h>

namespace Vapixcam {

namespace {

using Orix::LogError;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string localName(const std::string& name)
{
    const auto colon = name.rfind(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
}

std::string trimmed(const std::string& text)
{
    return std::string(Orix::Utility::text::trim(text, Orix::Utility::text::kWhitespace));
}

// Appends c unless text is at its bound; false when it was.
bool appendBounded(std::string& text, char c, std::size_t max)
{
    if (text.size() >= max)
        return false;
    text.push_back(c);
    return true;
}

} // namespace

void NotificationReader::reset()
{
    *this = NotificationReader();
}

std::vector<EventStruct> NotificationReader::take()
{
    std::vector<EventStruct> out;
    out.swap(done_);
    return out;
}

void NotificationReader::fail(Status status, const std::string& what)
{
    if (status_ != Status::ok)
        return;
    status_ = status;
    error_ = what + " at byte " + std::to_string(bytes_);
    if (status == Status::tooLarge)
        done_.clear();
}

void NotificationReader::feed(const char* data, std::size_t size)
{
    if (status_ != Status::ok)
        return;
    if (size > kMaxDocumentBytes - bytes_) {
        bytes_ += size;
        fail(Status::tooLarge, "document larger than " + std::to_string(kMaxDocumentBytes) + " bytes");
        return;
    }
    for (std::size_t i = 0; i < size && status_ == Status::ok; ++i) {
        const char c = data[i];
        ++bytes_;
        if (capture_ == Capture::source || capture_ == Capture::data) {
            if (state_ == State::text && c == '<')
                tagStart_ = captured_.size();
            appendCapture(c);
        }
        step(c);
    }
}

void NotificationReader::appendCapture(char c)
{
    if (!appendBounded(captured_, c, kMaxCaptureBytes))
        fail(Status::malformed, "Source or Data longer than " + std::to_string(kMaxCaptureBytes) + " bytes");
}

void NotificationReader::finish()
{
    if (status_ != Status::ok)
        return;
    if (state_ != State::text || !stack_.empty())
        fail(Status::malformed, "document ends inside <" + (stack_.empty() ? name_ : stack_.back()) + ">");
}

void NotificationReader::step(char c)
{
    switch (state_) {
    case State::text:
        if (c == '<')
            state_ = State::tagOpen;
        else if (capture_ == Capture::topic && !appendBounded(captured_, c, kMaxTopicBytes))
            fail(Status::malformed, "topic longer than " + std::to_string(kMaxTopicBytes) + " bytes");
        return;
    case State::tagOpen:
        if (c == '/') {
            name_.clear();
            state_ = State::endName;
        } else if (c == '?' || c == '!') {
            markupTail_.assign(1, c);
            state_ = State::markup;
        } else if (!isBlank(c) && c != '>' && c != '<' && c != '=' && c != '"' && c != '\'') {
            name_.assign(1, c);
            attributes_.clear();
            state_ = State::startName;
        } else {
            fail(Status::malformed, std::string("unexpected '") + c + "' after '<'");
        }
        return;
    case State::startName:
        if (isBlank(c))
            state_ = State::inTag;
        else if (c == '>')
            startElement(false);
        else if (c == '/')
            state_ = State::emptyTagEnd;
        else if (c == '<' || c == '=' || c == '"' || c == '\'')
            fail(Status::malformed, std::string("unexpected '") + c + "' in element name");
        else if (!appendBounded(name_, c, kMaxNameBytes))
            fail(Status::malformed, "element name too long");
        return;
    case State::inTag:
        if (isBlank(c))
            return;
        if (c == '>')
            startElement(false);
        else if (c == '/')
            state_ = State::emptyTagEnd;
        else if (c == '<' || c == '=' || c == '"' || c == '\'')
            fail(Status::malformed, std::string("unexpected '") + c + "' in <" + name_ + ">");
        else {
            attrName_.assign(1, c);
            state_ = State::attrName;
        }
        return;
    case State::attrName:
        if (c == '=')
            state_ = State::beforeValue;
        else if (isBlank(c))
            state_ = State::afterAttrName;
        else if (c == '>' || c == '/' || c == '<' || c == '"' || c == '\'')
            fail(Status::malformed, "attribute " + attrName_ + " of <" + name_ + "> has no value");
        else if (!appendBounded(attrName_, c, kMaxNameBytes))
            fail(Status::malformed, "attribute name too long");
        return;
    case State::afterAttrName:
        if (c == '=')
            state_ = State::beforeValue;
        else if (!isBlank(c))
            fail(Status::malformed, "attribute " + attrName_ + " of <" + name_ + "> has no value");
        return;
    case State::beforeValue:
        if (c == '"' || c == '\'') {
            quote_ = c;
            attrValue_.clear();
            state_ = State::attrValue;
        } else if (!isBlank(c)) {
            fail(Status::malformed, "value of attribute " + attrName_ + " is not quoted");
        }
        return;
    case State::attrValue:
        if (c == quote_) {
            attribute();
            state_ = State::inTag;
        } else if (c == '<') {
            fail(Status::malformed, "'<' in the value of attribute " + attrName_);
        } else if (!appendBounded(attrValue_, c, kMaxAttributeBytes)) {
            fail(Status::malformed, "value of attribute " + attrName_ + " too long");
        }
        return;
    case State::emptyTagEnd:
        if (c == '>')
            startElement(true);
        else
            fail(Status::malformed, "'/' not followed by '>' in <" + name_ + ">");
        return;
    case State::endName:
        if (c == '>') {
            endElement(name_);
        } else if (isBlank(c)) {
            if (name_.empty())
                fail(Status::malformed, "blank after '</'");
            else
                state_ = State::afterEndName;
        } else if (c == '<' || !appendBounded(name_, c, kMaxNameBytes)) {
            fail(Status::malformed, "bad end tag");
        }
        return;
    case State::afterEndName:
        if (c == '>')
            endElement(name_);
        else if (!isBlank(c))
            fail(Status::malformed, "unexpected '" + std::string(1, c) + "' in </" + name_ + ">");
        return;
    case State::markup:
        if (markupTail_.size() < 3) {
            markupTail_.push_back(c);
            if (markupTail_ == "!--") {
                markupTail_.clear();
                state_ = State::comment;
                return;
            }
        }
        if (c == '>')
            state_ = State::text;
        return;
    case State::comment:
        markupTail_.push_back(c);
        if (markupTail_.size() > 3)
            markupTail_.erase(0, markupTail_.size() - 3);
        if (markupTail_ == "-->")
            state_ = State::text;
        return;
    }
}

void NotificationReader::attribute()
{
    if (attributes_.size() < 32)
        attributes_.emplace_back(attrName_, attrValue_);
}

void NotificationReader::startElement(bool empty)
{
    state_ = State::text;
    if (stack_.size() >= kMaxDepth) {
        fail(Status::malformed, "elements nested deeper than " + std::to_string(kMaxDepth));
        return;
    }
    const std::size_t depth = stack_.size();
    if (capture_ == Capture::none) {
        const std::string local = localName(name_);
        if (local == "NotificationMessage") {
            current_ = Notification();
            current_.open = true;
            current_.depth = depth;
        } else if (current_.open) {
            if (local == "Topic" && current_.event.topic.empty() && !current_.tnsaxis) {
                captured_.clear();
                if (!empty) {
                    capture_ = Capture::topic;
                    captureDepth_ = depth;
                }
            } else if (local == "Message" && !current_.messageSeen) {
                for (const auto& [name, value] : attributes_) {
                    if (localName(name) == "UtcTime") {
                        current_.event.utcTime = value;
                        current_.messageSeen = true;
                    }
                }
            } else if (local == "Source" && !current_.sourceSeen) {
                current_.sourceSeen = true;
                captured_.clear();
                if (!empty) {
                    capture_ = Capture::source;
                    captureDepth_ = depth;
                }
            } else if (local == "Data" && !current_.dataSeen) {
                current_.dataSeen = true;
                captured_.clear();
                if (!empty) {
                    capture_ = Capture::data;
                    captureDepth_ = depth;
                }
            }
        }
    }
    if (!empty)
        stack_.push_back(name_);
}

void NotificationReader::endElement(const std::string& name)
{
    state_ = State::text;
    if (stack_.empty() || stack_.back() != name) {
        fail(Status::malformed,
             "</" + name + "> does not close " + (stack_.empty() ? std::string("anything") : "<" + stack_.back() + ">"));
        return;
    }
    stack_.pop_back();
    const std::size_t depth = stack_.size();
    if (capture_ != Capture::none && depth == captureDepth_) {
        switch (capture_) {
        case Capture::topic: {
            const std::string topic = trimmed(captured_);
            const auto prefix = topic.find("tnsaxis:");
            current_.tnsaxis = prefix != std::string::npos;
            if (current_.tnsaxis)
                current_.event.topic = topic.substr(prefix + 8);
            break;
        }
        case Capture::source:
            captured_.resize(tagStart_);
            current_.event.source = captured_;
            break;
        case Capture::data:
            captured_.resize(tagStart_);
            current_.event.data = captured_;
            break;
        case Capture::none:
            break;
        }
        capture_ = Capture::none;
        captured_.clear();
    }
    if (current_.open && depth == current_.depth && localName(name) == "NotificationMessage") {
        if (current_.tnsaxis && !current_.event.topic.empty()) {
            if (done_.size() >= kMaxNotifications)
                fail(Status::malformed, "more than " + std::to_string(kMaxNotifications) + " notifications");
            else
                done_.push_back(std::move(current_.event));
        }
        current_ = Notification();
    }
}

MetadataParser::MetadataParser(Orix::LoggerOwner logger, Callback callback)
    : logger_(std::move(logger)), callback_(std::move(callback))
{
}

void MetadataParser::process(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        ORIX_LOG(logger_, LogError, " Input is empty.");
        return;
    }
    ++documents_;
    reader_.reset();
    reader_.feed(reinterpret_cast<const char*>(data), size);
    reader_.finish();
    auto events = reader_.take();
    switch (reader_.status()) {
    case NotificationReader::Status::ok:
        break;
    case NotificationReader::Status::tooLarge:
        ++dropped_;
        ORIX_LOG(logger_, LogError, " Metadata document of " << size << " bytes dropped: " << reader_.error());
        return;
    case NotificationReader::Status::malformed:
        ++dropped_;
        ORIX_LOG(logger_, LogError,
                 " Malformed metadata document (" << reader_.error() << "), " << events.size()
                                                  << " notification(s) before it kept");
        break;
    }
    if (!events.empty() && callback_)
        callback_(events);
}

std::vector<std::pair<std::string, std::string>> readSimpleItems(const std::string& text, std::size_t max)
{
    std::vector<std::pair<std::string, std::string>> items;
    std::size_t pos = 0;
    while (items.size() < max) {
        const auto open = text.find('<', pos);
        if (open == std::string::npos)
            break;
        const auto close = text.find('>', open);
        if (close == std::string::npos)
            break;
        pos = close + 1;
        // "<tt:SimpleItem Name="x" Value="y"/>": the element's name, then its attributes.
        std::size_t at = open + 1;
        while (at < close && !isBlank(text[at]) && text[at] != '/')
            ++at;
        if (localName(text.substr(open + 1, at - open - 1)) != "SimpleItem")
            continue;
        std::optional<std::string> name;
        std::optional<std::string> value;
        while (at < close) {
            while (at < close && (isBlank(text[at]) || text[at] == '/'))
                ++at;
            const auto eq = text.find('=', at);
            if (eq == std::string::npos || eq >= close)
                break;
            const std::string attr = trimmed(text.substr(at, eq - at));
            auto quote = eq + 1;
            while (quote < close && isBlank(text[quote]))
                ++quote;
            if (quote >= close || (text[quote] != '"' && text[quote] != '\''))
                break;
            const auto end = text.find(text[quote], quote + 1);
            if (end == std::string::npos || end >= close)
                break;
            const std::string v = text.substr(quote + 1, end - quote - 1);
            if (attr == "Name")
                name = v;
            else if (attr == "Value")
                value = v;
            at = end + 1;
        }
        if (name && value)
            items.emplace_back(*name, *value);
    }
    return items;
}

} // namespace Vapixcam
