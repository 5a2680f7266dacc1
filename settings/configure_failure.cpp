#include "settings/configure_failure.h"

#include "adapter/vekdiag_device.h"
#include "cli/report.h"

void ReportConfigureFailure(const VekDiagDevice& device, const char* what) {
    if (device.configureHandle == INVALID_HANDLE_VALUE) {
        ReportFailure("cannot open %s", Printable(device.configurePath.c_str()).c_str());
    } else {
        ReportFailure("the driver rejected %s", what);
    }
}
