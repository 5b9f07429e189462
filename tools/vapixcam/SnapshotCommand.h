#pragma once
// vapixcam snapshot URL --out FILE.jpg: one JPEG picture through the
// camera's /axis-cgi/jpg/image.cgi, with the authentication the camera asks
// for. The file is written only when the answer is a whole JPEG, so a cut
// answer never leaves a picture that looks fine but is not.
#include "Command.h"

#include <cstdint>
#include <optional>
#include <string>

namespace VapixcamCli {

struct JpegInfo {
    unsigned width = 0;
    unsigned height = 0;
};

// Walks a JPEG's marker segments from SOI to the start of scan and checks
// that the data ends with EOI; the picture size from its frame header.
// nullopt with error saying what is wrong.
std::optional<JpegInfo> inspectJpeg(const std::string& bytes, std::string& error);

class SnapshotCommand final : public Command {
public:
    CLI::App* attach(CLI::App& app) override;
    int run() override;

private:
    std::string url_;
    unsigned channel_ = 0;
    std::string resolution_;
    std::string outputPath_;
    unsigned timeoutSeconds_ = 15;
};

} // namespace VapixcamCli
