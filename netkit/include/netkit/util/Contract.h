#pragma once
// Contract queries by interface type name.
#include <cstring>
#include <orix/IContract.h>

namespace Orix::Utility {

// True when name is the contract name of Interface.
template <class Interface>
bool isContract(const char* name)
{
    return name != nullptr && std::strcmp(name, contractName<Interface>()) == 0;
}

// Returns self converted to the first of Interfaces whose contract name
// matches, else null. Example:
//   return queryContract<IContract, GDRV::IDevice>(this, name);
template <class Self>
const IContract* queryContract(const Self*, const char*)
{
    return nullptr;
}

template <class First, class... Rest, class Self>
const IContract* queryContract(const Self* self, const char* name)
{
    if (isContract<First>(name))
        return static_cast<const First*>(self);
    if constexpr (sizeof...(Rest) > 0)
        return queryContract<Rest...>(self, name);
    else
        return nullptr;
}

} // namespace Orix::Utility
