#pragma once

class VekDiagDevice;

// Says why a request on the configure channel failed: the channel could not be opened,
// or the driver rejected the request.
void ReportConfigureFailure(const VekDiagDevice& device, const char* what);
