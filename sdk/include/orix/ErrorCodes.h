#pragma once
// The host's result codes: 32-bit values, 0 = success.
#include <cstdint>

namespace Orix {

using ResultCode = std::uint32_t;

enum Result : ResultCode {
    Ok = 0,
    GenericFailure = 1,
    AlreadyInState = 3,       // Start while started, Stop while stopped
    WrongValueType = 4,       // a setting has the wrong type
    InvalidArgument = 6,      // unknown relay, value out of range
    NotSupported = 8,
    NotStarted = 9,           // called before Start
    NoConnection = 10,        // no connection info yet
    InProgress = 12,          // already in progress or terminated

    // Network (0x100 range)
    BadAddress = 0x100,       // unparsable connection string, unknown host
    ConnectionRefused = 0x101,
    HostUnreachable = 0x102,
    Timeout = 0x103,
    ConnectionLost = 0x104,
    TlsFailure = 0x105,
    ProtocolError = 0x106,    // malformed or oversized answer
    Cancelled = 0x107,

    // HTTP statuses (0x200 range)
    Unauthorized = 0x201,     // 401, credentials rejected
    Forbidden = 0x202,        // 403
    NotFound = 0x203,         // 404
    BadRequest = 0x204,       // other 4xx
    ServerError = 0x205,      // 5xx
    ServiceUnavailable = 0x206, // 503

    DeviceNotRecognised = 0x300,
    NotInCall = 0x700,
    BadConnectionString = 0xB00,
};

} // namespace Orix
