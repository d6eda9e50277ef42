#pragma once

#include "DeviceClock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace horavox {

// The values that live for the whole run. main() owns the one instance and hands it to
// the window; nothing else keeps program-wide state.
struct ProgramState {
    DeviceClock deviceClock;
    // The hour the melody was last started for; 0 until the first chime.
    std::int32_t lastChimeHour = 0;
    // The pause between notes. The program really sleeps, blocking its one UI thread as the
    // board's host always has; tests put a recorder here instead.
    std::function<void(std::chrono::milliseconds)> pause = [](std::chrono::milliseconds d) {
        std::this_thread::sleep_for(d);
    };
};

} // namespace horavox
