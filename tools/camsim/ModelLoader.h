#pragma once
// Reads a model file. One parameter per line, value and type split by
// " ; " (a value never contains " ; "):
//
//   root.Image.I0.RateControl.Mode=vbr ; enum:"vbr=Variable bit rate|mbr=Maximum bit rate"
//
// Lines starting with '#' are comments. Directives:
//   @include FILE              lines of data/common/FILE
//   @optics                    the camera has /axis-cgi/opticssetup.cgi
//   @webserver apache|boa      wording of error pages
//   @quirk unprefixed-after-error
//   @group PATH                an (initially) empty group
//   @for i=0..3 ... @end       repeats the lines, {i} and {i+1} replaced
//   @template NAME PARENT LETTER ... @end
//                              an action=add template; lines "Rel.Path=value ; type"
#include "Model.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Camsim {

class ModelLoader {
public:
    using IncludeReader = std::function<std::optional<std::string>(const std::string& file)>;

    // error reads "<file>:<line>: <what>".
    static std::optional<Model> parse(const std::string& modelName, const std::string& text,
                                      const IncludeReader& include, std::string& error);

    // data/models/<name>.params with includes from data/common/.
    static std::optional<Model> load(const std::string& dataDir, const std::string& modelName,
                                     std::string& error);

    static std::vector<std::string> listModels(const std::string& dataDir);
};

} // namespace Camsim
