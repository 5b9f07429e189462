#pragma once
// What the scripted HTTP and RTSP test servers share: a recorded request's
// header lookup and the script's reply.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport {

struct RecordedHeaders {
    std::vector<std::pair<std::string, std::string>> headers;

    // First header of that name (case-insensitive); empty when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

struct ScriptedReply {
    enum class Kind { send, close, silent };
    Kind kind = Kind::send;
    std::string bytes;       // the answer, and anything that follows it ("$" frames)
    bool closeAfter = false; // close the connection once sent
    std::vector<std::pair<std::uint16_t, std::string>> datagrams; // RTSP only: to 127.0.0.1:port after the answer

    static ScriptedReply raw(std::string bytes, bool closeAfter = false)
    {
        ScriptedReply r;
        r.bytes = std::move(bytes);
        r.closeAfter = closeAfter;
        return r;
    }
    // Close the connection without answering.
    static ScriptedReply close() { return withKind(Kind::close); }
    // Keep the connection open and never answer.
    static ScriptedReply silent() { return withKind(Kind::silent); }

private:
    static ScriptedReply withKind(Kind kind)
    {
        ScriptedReply r;
        r.kind = kind;
        return r;
    }
};

} // namespace TestSupport
