// Waiting for an event in a test without guessing how long it takes: polls until
// it has happened. The cap only ends a test that would otherwise hang; it is far
// beyond what the slowest sanitizer build on a loaded machine needs.
#pragma once

#include <chrono>
#include <thread>

template <class Done>
bool Eventually(Done done, std::chrono::milliseconds cap = std::chrono::seconds(30)) {
    const auto until = std::chrono::steady_clock::now() + cap;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
