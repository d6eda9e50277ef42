#pragma once

#include <string>

namespace horavox {

// Why an open failed, for the one diagnostic line the link prints.
struct OpenFailure {
    int error = 0;      // the system's error number, or 0 when the reason is our own
    std::string reason; // plain text: the system's message or ours
    std::string hint;   // what the user can do about it, may be empty
};

} // namespace horavox
