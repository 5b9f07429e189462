#include "ModuleState.h"

#include <boost/filesystem/path.hpp>
#include <netkit/module/ModuleDriver.h>
#include <netkit/repository/RepositoryReader.h>

namespace Vapixcam {

namespace {
using Module = Orix::Utility::ModuleDriver<Orix::Utility::ModuleDriverTraits<
    ModuleSettings, Orix::Utility::notImplemented, Orix::Utility::notImplemented,
    Orix::Utility::notImplemented>>;
} // namespace

ModuleState& ModuleState::instance()
{
    static ModuleState state;
    return state;
}

bool ModuleState::init(Orix::PLUGIN::IModuleHost* host, const char* directory)
{
    auto info = std::make_shared<Orix::GDRV::DriverInfo>();
    if (host == nullptr || directory == nullptr || module_)
        return false;
    directory_ = directory;

    auto reader = std::make_unique<Orix::Utility::RepositoryReader>(
        Orix::LoggerDetail::borrowLogger(host->GetLogger()));
    const std::string path =
        (boost::filesystem::path(directory_) / "Velto.Vapixcam.rep").string();
    if (reader->load(path, *info) != 0)
        return false;

    module_ = std::make_unique<Module>(std::move(info));
    ModuleSettings::loggerHolder()->set(host, host->GetLogger(),
                                        Orix::LoggerDetail::initFileLogger());
    globalService_ = Orix::Utility::GlobalService::instance();
    return true;
}

void ModuleState::fini()
{
    auto service = std::move(globalService_);
    globalService_ = nullptr;
    service.reset();
    module_.reset();
}

} // namespace Vapixcam
