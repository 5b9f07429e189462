#pragma once
// Base of every host interface. Operations sit at fixed slots; never reorder.
#include <typeinfo>

namespace Orix {

class IContract {
public:
    // slot 0: the object behind the named interface, or null.
    virtual IContract* QueryContract(const char* name) = 0;
    // slot 1
    virtual const IContract* QueryConstContract(const char* name) const = 0;
    // slot 2
    virtual ~IContract() = default;
};

// A contract's name is the interface's run-time type name.
template <class Interface>
inline const char* contractName()
{
    return typeid(Interface).name();
}

} // namespace Orix
