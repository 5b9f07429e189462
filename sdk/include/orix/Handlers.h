#pragma once
// Completion handlers and settings interfaces shared by every channel.
#include <cstdint>
#include <orix/IContract.h>

namespace Orix {

class IAsyncActionHandler : public IContract {
public:
    // slot 3: called once when the action ends; 0 = success.
    virtual void Finished(const IContract* source, std::uint32_t result) = 0;
};

class IDynamicParametersHandler : public IContract {
public:
    // slot 3
    virtual void Failed(const IContract* source, std::uint32_t result) = 0;
    // slot 4: json is the settings document, length its size in bytes.
    virtual void Completed(const IContract* source, const char* json, std::uint32_t length) = 0;
};

class IDynamicParametersProvider : public IContract {
public:
    // slot 3
    virtual void AcquireDynamicParameters(IDynamicParametersHandler* handler) = 0;
};

class IAsyncAdjuster : public IContract {
public:
    // slots 3 to 6
    virtual std::uint32_t SetValue(const char* name, const char* value) = 0;
    virtual std::uint32_t SetValue(const char* name, double value) = 0;
    virtual std::uint32_t SetValue(const char* name, int value) = 0;
    virtual std::uint32_t SetValue(const char* name, bool value) = 0;
    // slot 7
    virtual void ApplySettings(IAsyncActionHandler* handler) = 0;
};

class IDefaultPropertiesSetter : public IContract {
public:
    // slot 3
    virtual void SetDefaultProperties(IDynamicParametersHandler* handler) = 0;
};

} // namespace Orix
