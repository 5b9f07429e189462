#include "ParameterUpdate.h"

namespace Vapixcam {

namespace {

constexpr const char* kBadCast = "boost::bad_any_cast: failed conversion using boost::any_cast";

bool render(UpdateValueType type, const Orix::Utility::ParamValue& value, std::string& out)
{
    switch (type) {
    case UpdateValueType::text:
        if (const auto* text = std::get_if<std::string>(&value)) {
            out = *text;
            return true;
        }
        return false;
    case UpdateValueType::integer:
        if (const auto* number = std::get_if<int>(&value)) {
            out = std::to_string(*number);
            return true;
        }
        return false;
    case UpdateValueType::boolean:
        if (const auto* flag = std::get_if<bool>(&value)) {
            out = *flag ? "yes" : "no";
            return true;
        }
        return false;
    }
    return false;
}

} // namespace

ParameterUpdate buildParameterUpdate(const std::string& base, const std::vector<UpdatePiece>& pieces,
                                     const Orix::Utility::ParamMap& pushed)
{
    ParameterUpdate update;
    update.request = base;
    for (const UpdatePiece& piece : pieces) {
        const auto found = pushed.find(piece.property);
        if (found == pushed.end())
            continue;
        std::string value;
        if (!render(piece.type, found->second, value)) {
            update.typeError = kBadCast;
            return update;
        }
        update.request += piece.prefix + value;
        update.appended = true;
    }
    return update;
}

} // namespace Vapixcam
