// A camera's parameter definitions (param.cgi?action=listdefinitions
// &listformat=xmlschema) turned into host properties.
//
// Input: a byte of options (read instance I0 only, apply a second-stream
// profile), then the XML document.
//
// Checks: nothing escapes, the answer is Ok or ProtocolError; every property
// is stored under its own name, with a stored value of the matching type; a
// range holds its value; an enumeration offers at least one value.
#include "FuzzSupport.h"

#include "DefinitionsReader.h"
#include "VideoParameterTable.h"

#include <boost/property_tree/ptree.hpp>
#include <netkit/repository/RepositoryReader.h>
#include <orix/ErrorCodes.h>

using namespace Vapixcam;

namespace {

const boost::property_tree::ptree& repositoryProperties()
{
    static const auto info = [] {
        auto loaded = std::make_shared<Orix::GDRV::DriverInfo>();
        Orix::Utility::RepositoryReader reader(nullptr);
        if (reader.load(Fuzz::repositoryPath(), *loaded) != 0)
            Fuzz::fail("the repository file loads", __FILE__, __LINE__);
        return loaded;
    }();
    return *info->groups.at("Properties");
}

struct CheckProperty {
    const std::string& key;
    const Orix::Utility::ParamMap& values;

    template <class P>
    const Orix::Utility::ParamValue& stored(const P& p) const
    {
        FUZZ_CHECK(p.name == key);
        const auto it = values.find(key);
        FUZZ_CHECK(it != values.end());
        return it->second;
    }
    void operator()(const Orix::GDRV::PropertyBool& p) const
    {
        FUZZ_CHECK(std::holds_alternative<bool>(stored(p)));
    }
    void operator()(const Orix::GDRV::PropertyIntRange& p) const
    {
        FUZZ_CHECK(std::holds_alternative<int>(stored(p)));
        FUZZ_CHECK(p.min <= p.value && p.value <= p.max);
    }
    void operator()(const Orix::GDRV::PropertyStringEnum& p) const
    {
        FUZZ_CHECK(std::holds_alternative<std::string>(stored(p)));
        FUZZ_CHECK(!p.values.empty());
    }
    template <class P>
    void operator()(const P& p) const
    {
        (void)stored(p);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input input(data, size);
    const std::uint8_t options = input.byte();
    const std::string xml(input.rest());

    DefinitionsReader reader(VideoParameterTable::descriptors(), repositoryProperties(), {},
                             Fuzz::sinkLogger());
    if (options & 1)
        reader.setInstance("I0");
    if (options & 2)
        reader.setProfile({{"videocodec", "h264"}, {"resolution", "640x360"}, {"fps", "25"}});

    AcquiredProperties out;
    const std::uint32_t result = reader.read(xml, out);
    FUZZ_CHECK(result == Orix::Ok || result == Orix::ProtocolError);
    for (const auto* set : {&out.image, &out.streaming}) {
        for (const auto& [key, property] : *set)
            std::visit(CheckProperty{key, out.values}, property);
    }
    return 0;
}
