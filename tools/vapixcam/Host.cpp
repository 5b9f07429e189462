#include "Host.h"

#include <string>

namespace VapixcamCli {

Orix::IContract* Host::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* Host::QueryConstContract(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    const std::string wanted = name;
    if (wanted == Orix::contractName<Orix::IContract>() ||
        wanted == Orix::contractName<Orix::PLUGIN::IModuleHost>())
        return this;
    return nullptr;
}

} // namespace VapixcamCli
