#pragma once

// The port implementation of the platform being built for; both have the same members.
#ifdef _WIN32
#include "WinPort.h"
namespace horavox {
using NativePort = WinPort;
}
#else
#include "PosixPort.h"
namespace horavox {
using NativePort = PosixPort;
}
#endif
