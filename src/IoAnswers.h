#pragma once
// Readers of the camera's IO answers: the port directions of the IOPort
// parameter group, the state check of port.cgi?check=, the lines of one
// port.cgi?monitor= part, and the error elements of a virtual-input answer.
// Pure: no sockets, no logger. Port numbers here are the camera's (port 1
// is IOPort.I0).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Vapixcam {

enum class PortDirection { input, output };

// Zero-based port index -> direction, from "root.IOPort.I<n>.Direction=input"
// or "=output" lines; other lines and other words are skipped.
std::map<unsigned, PortDirection> parsePortDirections(std::string_view body);

struct PortStatus {
    unsigned port = 0; // the camera's port number, from 1
    bool active = false;
};

// Every "port<N>=<0|1>" of a port.cgi?check= answer, in order ("1" active).
std::vector<PortStatus> parsePortCheck(std::string_view body);

// The "<N>I:<state>" (direction 'I') or "<N>O:<state>" (direction 'O') lines
// at the start of a monitor part, white space between them skipped, up to
// the first line that is not one. States: '/' and 'H' active, '\' and 'L'
// inactive.
std::vector<PortStatus> parseMonitorPart(std::string_view text, char direction);

// The port numbers joined with ",": {1, 3} -> "1,3".
std::string joinPorts(const std::vector<unsigned>& ports);

// The ErrorCode and ErrorDescription elements of a VirtualInputResponse;
// nothing when the answer carries neither.
struct VirtualInputError {
    std::string code;
    std::string description;
};
std::optional<VirtualInputError> virtualInputError(std::string_view body);

} // namespace Vapixcam
