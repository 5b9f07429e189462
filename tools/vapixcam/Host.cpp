#include "Host.h"

#include <string>
#include <netkit/util/Contract.h>

namespace VapixcamCli {

Orix::IContract* Host::QueryContract(const char* name)
{
    return const_cast<Orix::IContract*>(QueryConstContract(name));
}

const Orix::IContract* Host::QueryConstContract(const char* name) const
{
    // IContract is both bases' root: answered by the first.
    if (Orix::Utility::isContract<Orix::IContract>(name))
        return static_cast<const Orix::PLUGIN::IModuleHost*>(this);
    return Orix::Utility::queryContract<Orix::PLUGIN::IModuleHost, Orix::PLUGIN::IServiceProvider>(this, name);
}

Orix::IContract* Host::QueryService(const char* name)
{
    if (name != nullptr && std::string(name) == Orix::contractName<Orix::Analytics::ITargetEnumeratorFactory>())
        return &targets_;
    return nullptr;
}

} // namespace VapixcamCli
