#pragma once

#include <string>

class VekDiagDevice;

// Why a request on the configure channel failed: the channel could not be opened, or
// the driver rejected the request (what names it).
std::string DescribeConfigureFailure(const VekDiagDevice& device, const char* what);
// The same as a line on standard error.
void ReportConfigureFailure(const VekDiagDevice& device, const char* what);
