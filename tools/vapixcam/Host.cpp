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
        return static_cast<const Orix::PLUGIN::IModuleHost*>(this);
    if (wanted == Orix::contractName<Orix::PLUGIN::IServiceProvider>())
        return static_cast<const Orix::PLUGIN::IServiceProvider*>(this);
    return nullptr;
}

Orix::IContract* Host::QueryService(const char* name)
{
    if (name != nullptr && std::string(name) == Orix::contractName<Orix::Analytics::ITargetEnumeratorFactory>())
        return &targets_;
    return nullptr;
}

} // namespace VapixcamCli
