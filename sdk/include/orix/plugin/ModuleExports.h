#pragma once
// The three plain functions a driver module exports, as the host loads them.
#include <orix/gdrv/IModule.h>
#include <orix/plugin/IModuleHost.h>

extern "C" {
using InitModuleFunction = bool (*)(Orix::PLUGIN::IModuleHost* host, const char* directory);
using GetModuleFunction = Orix::GDRV::IModule* (*)();
using FiniModuleFunction = void (*)();
}

namespace Orix::PLUGIN {
inline constexpr const char* kInitModuleSymbol = "initModule";
inline constexpr const char* kGetModuleSymbol = "getModule";
inline constexpr const char* kFiniModuleSymbol = "finiModule";
} // namespace Orix::PLUGIN
