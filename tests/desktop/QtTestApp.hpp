#pragma once

// A Qt application for desktop tests whose code delivers into the main loop, and ways to let that
// loop run while a test waits.

#include <chrono>
#include <functional>

namespace tovrel::desktoptest {

class Desktop;

// Made on first use, kept for the whole test program.
void qtApp();
void pump(std::chrono::milliseconds duration);
// The time-out only bounds a failing wait, so it is generous: a machine busy with a parallel
// build can hold a delivery up for seconds.
bool pumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// Input comes from another connection on another thread while this one runs the main loop, as it
// would for a user: decisions the program makes on its main thread are made in time.
void inputWhilePumping(Desktop& desktop, const std::function<void(Desktop&)>& act);

}  // namespace tovrel::desktoptest
