#pragma once
// Reading the notifications of the camera's event metadata stream. Each
// document (one RTP frame of the metadata track) is a tt:MetadataStream
// holding zero or more wsnt:NotificationMessage elements:
//
//   <wsnt:Topic ...>tns1:VideoSource/tnsaxis:Tampering</wsnt:Topic>
//   <tt:Message UtcTime="..." PropertyOperation="Changed">
//     <tt:Source>SimpleItems</tt:Source><tt:Key/><tt:Data>SimpleItems</tt:Data>
//
// NotificationReader is an incremental XML scanner over one document: fed
// in chunks of any size, it keeps bounded state (names, attribute values,
// topic and captured Source/Data markup, element depth, notifications per
// document) and never needs the whole document at once. A notification
// whose topic has no "tnsaxis:" is skipped; attributes may come in any
// order and namespace prefixes are matched by their local name.
// MetadataParser is the link of the track's filter chain: one call per
// document, the notifications handed on together, problems logged.
#include "EventStruct.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <netkit/util/Logging.h>
#include <string>
#include <vector>

namespace Vapixcam {

class NotificationReader {
public:
    enum class Status { ok, tooLarge, malformed };

    static constexpr std::size_t kMaxDocumentBytes = 256 * 1024;
    static constexpr std::size_t kMaxDepth = 32;
    static constexpr std::size_t kMaxNameBytes = 256;
    static constexpr std::size_t kMaxAttributeBytes = 4096;
    static constexpr std::size_t kMaxTopicBytes = 1024;
    static constexpr std::size_t kMaxCaptureBytes = 64 * 1024;
    static constexpr std::size_t kMaxNotifications = 256;

    // Consumes a chunk; after an error the rest of the document is ignored.
    void feed(const char* data, std::size_t size);
    // The end of the document: an element still open is malformed.
    void finish();
    // The notifications completed so far, in document order.
    std::vector<EventStruct> take();
    // Ready for the next document.
    void reset();

    Status status() const { return status_; }
    // What went wrong and where (byte offset), for the log.
    const std::string& error() const { return error_; }
    std::size_t bytes() const { return bytes_; }

private:
    enum class State {
        text,         // character data
        tagOpen,      // after "<"
        startName,    // <name
        inTag,        // between attributes
        attrName,     // name
        afterAttrName,// name then blanks, expecting "="
        beforeValue,  // after "=", expecting a quote
        attrValue,    // inside quotes
        emptyTagEnd,  // after "/" in a start tag
        endName,      // </name
        afterEndName, // </name then blanks
        markup,       // <?...?>, <!...>: skipped to ">"
        comment,      // <!-- ... -->
    };

    void step(char c);
    void fail(Status status, const std::string& what);
    void startElement(bool empty);
    void endElement(const std::string& name);
    void attribute();
    void appendCapture(char c);

    struct Notification {
        bool open = false;
        std::size_t depth = 0;
        bool tnsaxis = false;
        bool messageSeen = false;
        bool sourceSeen = false;
        bool dataSeen = false;
        EventStruct event;
    };

    State state_ = State::text;
    Status status_ = Status::ok;
    std::string error_;
    std::size_t bytes_ = 0;
    std::vector<std::string> stack_; // open elements, full names
    std::string name_;
    std::string attrName_;
    std::string attrValue_;
    char quote_ = '"';
    std::string markupTail_;          // last characters of a comment, to find "-->"
    std::vector<std::pair<std::string, std::string>> attributes_;

    Notification current_;
    enum class Capture { none, topic, source, data };
    Capture capture_ = Capture::none;
    std::size_t captureDepth_ = 0;
    std::string captured_;
    std::size_t tagStart_ = 0; // size of captured_ where the current tag began
    std::vector<EventStruct> done_;
};

class MetadataParser {
public:
    using Callback = std::function<void(const std::vector<EventStruct>&)>;

    MetadataParser(Orix::LoggerOwner logger, Callback callback);

    // One document. An empty one is logged ("Input is empty."); one without
    // notifications gives no call; one over the size bound or malformed is
    // logged once, and the notifications completed before a malformed part
    // are still handed on.
    void process(const std::uint8_t* data, std::size_t size);

    std::uint64_t documents() const { return documents_; }
    std::uint64_t droppedDocuments() const { return dropped_; }

private:
    Orix::LoggerOwner logger_;
    Callback callback_;
    NotificationReader reader_;
    std::uint64_t documents_ = 0;
    std::uint64_t dropped_ = 0;
};

// The first match of the SimpleItems in text: (Name, Value) pairs in document
// order, attributes in either order, at most max pairs.
std::vector<std::pair<std::string, std::string>> readSimpleItems(const std::string& text,
                                                                 std::size_t max);

} // namespace Vapixcam
