#include "JsonLine.h"

#include "MediaOutput.h"

#include <iostream>
#include <json/writer.h>

namespace VapixcamCli {

std::string compactJson(const Json::Value& value)
{
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    // Durations, rates and boxes read better as 3.072 than 3.0720000000000001.
    writer["precision"] = 10;
    return Json::writeString(writer, value);
}

void printSummary(const Json::Value& summary, const std::string& outputPath)
{
    std::ostream& out = MediaOutput::isStandardOutput(outputPath) ? std::cerr : std::cout;
    out << compactJson(summary) << std::endl;
}

} // namespace VapixcamCli
