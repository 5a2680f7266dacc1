// What the layer's other calls learn from a channel handle of CreateFileA.
#pragma once

#include <string>

#include "platform/linux/win32_api.h"

// The interface path of the adapter whose channel the handle has open (the name it was
// opened with, up to its last backslash); false when the handle is no channel handle of
// this layer.
bool ChannelDevicePath(HANDLE handle, std::string* devicePath);
