#include "adapter/configure_failure.h"

#include "adapter/vekdiag_device.h"
#include "base/report.h"

std::string DescribeConfigureFailure(const VekDiagDevice& device, const char* what) {
    if (device.configureHandle == INVALID_HANDLE_VALUE) {
        return "cannot open " + Printable(device.configurePath.c_str());
    }
    return std::string("the driver rejected ") + what;
}

void ReportConfigureFailure(const VekDiagDevice& device, const char* what) {
    ReportFailure("%s", DescribeConfigureFailure(device, what).c_str());
}
