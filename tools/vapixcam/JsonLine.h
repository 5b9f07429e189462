#pragma once
// The one-line JSON that commands print, and where a media command's summary
// goes: standard output, or standard error when the media itself goes there.
#include <json/value.h>
#include <string>

namespace VapixcamCli {

// value as one line of JSON, without a line end.
std::string compactJson(const Json::Value& value);

// Prints summary as one line, beside the media written to outputPath.
void printSummary(const Json::Value& summary, const std::string& outputPath);

} // namespace VapixcamCli
