// The lines of `vekdiag-sim requests`, one per request an adapter received:
//   open VekDiagConfigure access=0x10000000 share=0x0[ -> error N]
//   ioctl 0xC3516000 in=0x00000001 out=12[ -> error N]
//   close VekDiagTextLog
// Input is shown as 32-bit words, then any bytes left over, comma-separated; `-` for none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

std::string OpenLine(std::string_view channel, uint32_t access, uint32_t share, uint32_t error);
std::string IoctlLine(uint32_t code, std::string_view input, uint32_t outCapacity, uint32_t error);
std::string CloseLine(std::string_view channel);
