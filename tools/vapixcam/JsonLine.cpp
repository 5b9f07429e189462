#include "JsonLine.h"

#include "MediaOutput.h"

#include <iostream>
#include <json/writer.h>

namespace VapixcamCli {

std::string compactJson(const Json::Value& value)
{
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, value);
}

void printSummary(const Json::Value& summary, const std::string& outputPath)
{
    std::ostream& out = MediaOutput::isStandardOutput(outputPath) ? std::cerr : std::cout;
    out << compactJson(summary) << std::endl;
}

} // namespace VapixcamCli
