#pragma once
// The type of one camera parameter, as listdefinitions describes it, and the
// check an update must pass. Written in model files as a short type text, e.g.
//   enum:"no=Black & White|yes=Color" sec=7744
//   int:0..100 maxlen=3        bool:On/Off        string maxlen=80 readonly
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

struct EnumEntry {
    std::string value;
    std::string niceValue; // empty: the definition carries no niceValue
};

struct ParamType {
    enum class Kind { String, Hostname, Bool, Int, Enum };

    Kind kind = Kind::String;
    std::string trueValue = "yes";
    std::string falseValue = "no";
    std::optional<long long> min;
    std::optional<long long> max;
    std::optional<unsigned> maxLen;
    std::vector<EnumEntry> entries;

    bool readOnly = false;
    bool constant = false;
    bool hidden = false;
    bool internal = false;
    bool dynamic = false;
    bool secret = false; // listed as ******

    std::string securityLevel = "7744";
    std::string niceName; // empty: derived from the parameter name

    // Whether an update may store value (the read-only flags are the caller's).
    bool accepts(const std::string& value) const;
    bool writable() const { return !readOnly && !constant; }
};

// Parses a model-file type text; nullopt with error set when it is bad.
std::optional<ParamType> parseParamType(const std::string& text, std::string& error);

// "MaxViewers" -> "Max viewers", "ZGopMode" -> "Z gop mode", "FPS" -> "FPS".
std::string niceNameOf(const std::string& name);

} // namespace Camsim
