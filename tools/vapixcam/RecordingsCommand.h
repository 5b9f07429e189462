#pragma once
// vapixcam recordings URL [--source ID] --from T --to T: connects to one
// camera through the module, lists its storage sources and searches the
// recordings of one source (or of every source) in [from, to], printing one
// JSON object: {"sources": [...], "recordings": [{"source","id","status",
// "begin","end"}]}, times as UTC ISO 8601 with milliseconds.
#include "Command.h"
#include "DeviceSession.h"

#include <cstdint>
#include <optional>
#include <string>

namespace VapixcamCli {

// "2024-06-21T07:17:25Z", with an optional fraction ("...25.349Z") → host
// time (ms since 1970 UTC); nothing for anything else.
std::optional<std::uint64_t> parseUtcTime(const std::string& text);
// Host time → "2024-06-21T07:17:25.349Z".
std::string formatUtcTime(std::uint64_t hostTime);

class RecordingsCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    ModuleOptions module_;
    DeviceOptions device_;
    std::string source_;
    std::string from_;
    std::string to_;
};

} // namespace VapixcamCli
