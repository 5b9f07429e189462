#include <netkit/params/ParametersContainer.h>

#include <cmath>
#include <sstream>

namespace Orix::Utility {

std::string paramToString(const ParamValue& value)
{
    struct Visitor {
        std::string operator()(bool v) const { return v ? "true" : "false"; }
        std::string operator()(int v) const { return std::to_string(v); }
        std::string operator()(double v) const
        {
            std::ostringstream out;
            out << v;
            return out.str();
        }
        std::string operator()(const std::string& v) const { return v; }
    };
    return std::visit(Visitor{}, value);
}

void ParametersContainer::setPersistentParam(const std::string& name, ParamValue value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    persistent_[name] = std::move(value);
}

std::optional<ParamValue> ParametersContainer::getPersistentParam(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = persistent_.find(name);
    if (it == persistent_.end())
        return std::nullopt;
    return it->second;
}

void ParametersContainer::setDefaultValue(const std::string& name, ParamValue value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    defaults_[name] = std::move(value);
}

std::optional<ParamValue> ParametersContainer::getDefaultValue(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = defaults_.find(name);
    if (it == defaults_.end())
        return std::nullopt;
    return it->second;
}

std::optional<ParamValue> ParametersContainer::lookup(const std::string& name) const
{
    if (auto value = getPersistentParam(name))
        return value;
    return getDefaultValue(name);
}

std::string ParametersContainer::getString(const std::string& name, const std::string& fallback) const
{
    const auto value = lookup(name);
    return value ? paramToString(*value) : fallback;
}

int ParametersContainer::getInt(const std::string& name, int fallback) const
{
    const auto value = lookup(name);
    if (!value)
        return fallback;
    if (const int* v = std::get_if<int>(&*value))
        return *v;
    if (const bool* v = std::get_if<bool>(&*value))
        return *v ? 1 : 0;
    if (const double* v = std::get_if<double>(&*value))
        return std::isfinite(*v) ? static_cast<int>(*v) : fallback;
    const std::string& text = std::get<std::string>(*value);
    try {
        std::size_t used = 0;
        const int parsed = std::stoi(text, &used);
        return used == text.size() ? parsed : fallback;
    } catch (const std::exception&) {
        return fallback;
    }
}

bool ParametersContainer::getBool(const std::string& name, bool fallback) const
{
    const auto value = lookup(name);
    if (!value)
        return fallback;
    if (const bool* v = std::get_if<bool>(&*value))
        return *v;
    if (const int* v = std::get_if<int>(&*value))
        return *v != 0;
    if (const double* v = std::get_if<double>(&*value))
        return *v != 0.0;
    const std::string& text = std::get<std::string>(*value);
    if (text == "true" || text == "yes" || text == "on" || text == "1")
        return true;
    if (text == "false" || text == "no" || text == "off" || text == "0")
        return false;
    return fallback;
}

void ParametersContainer::pushParameters(ParamMap changes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(changes));
}

bool ParametersContainer::popParameters(ParamMap& changes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty())
        return false;
    changes = std::move(pending_.front());
    pending_.pop_front();
    return true;
}

void ParametersContainer::updateParams(const ParamMap& changes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, value] : changes)
        persistent_[name] = value;
}

void ParametersContainer::holdParameters(const ParamMap& changes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, value] : changes)
        held_[name] = value;
}

ParamMap ParametersContainer::takeHeldParameters()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ParamMap held;
    held.swap(held_);
    return held;
}

void ParametersContainer::addPropertySet(PropertySetPtr set)
{
    if (!set)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    propertySets_.push_back(std::move(set));
}

namespace {

// The value a property takes from a stored value, or nothing when the
// stored value does not fit the property.
struct FromStored {
    const ParamValue& stored;

    template <class T>
    static const T* as(const ParamValue& v) { return std::get_if<T>(&v); }

    bool operator()(GDRV::PropertyBool& p) const
    {
        if (const bool* v = as<bool>(stored)) {
            p.value = *v;
            return true;
        }
        return false;
    }
    bool operator()(GDRV::PropertyIntRange& p) const
    {
        const int* v = as<int>(stored);
        if (v == nullptr || *v < p.min || *v > p.max)
            return false;
        p.value = *v;
        return true;
    }
    bool operator()(GDRV::PropertyIntEnum& p) const
    {
        const int* v = as<int>(stored);
        if (v == nullptr)
            return false;
        for (const auto item : p.values) {
            if (item == *v) {
                p.value = *v;
                return true;
            }
        }
        return false;
    }
    bool operator()(GDRV::PropertyStringEnum& p) const
    {
        const std::string* v = as<std::string>(stored);
        if (v == nullptr)
            return false;
        for (const auto& item : p.values) {
            if (item == *v) {
                p.value = *v;
                return true;
            }
        }
        return false;
    }
    bool operator()(GDRV::PropertyString& p) const
    {
        if (const std::string* v = as<std::string>(stored)) {
            p.value = *v;
            return true;
        }
        return false;
    }
    bool operator()(GDRV::PropertyEditableString& p) const
    {
        if (const std::string* v = as<std::string>(stored)) {
            p.value = *v;
            return true;
        }
        return false;
    }
    bool operator()(GDRV::PropertyDoubleRange& p) const
    {
        double value = 0.0;
        if (const double* d = as<double>(stored))
            value = *d;
        else if (const int* i = as<int>(stored))
            value = *i;
        else
            return false;
        if (value < p.min || value > p.max)
            return false;
        p.value = value;
        return true;
    }
};

struct CurrentOf {
    ParamValue operator()(const GDRV::PropertyBool& p) const { return p.value; }
    ParamValue operator()(const GDRV::PropertyIntRange& p) const { return p.value; }
    ParamValue operator()(const GDRV::PropertyIntEnum& p) const { return p.value; }
    ParamValue operator()(const GDRV::PropertyStringEnum& p) const { return p.value; }
    ParamValue operator()(const GDRV::PropertyString& p) const { return p.value; }
    ParamValue operator()(const GDRV::PropertyEditableString& p) const { return p.value; }
    ParamValue operator()(const GDRV::PropertyDoubleRange& p) const { return p.value; }
};

} // namespace

void ParametersContainer::addArtificalPropertiesSet(PropertySetPtr set)
{
    if (!set)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, property] : *set)
        defaults_.emplace(name, std::visit(CurrentOf{}, property));
    propertySets_.push_back(std::move(set));
}

void ParametersContainer::UpdatePropertiesFromCurrent()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& set : propertySets_) {
        for (auto& [name, property] : *set) {
            const auto it = persistent_.find(name);
            if (it != persistent_.end())
                std::visit(FromStored{it->second}, property);
        }
    }
}

} // namespace Orix::Utility
