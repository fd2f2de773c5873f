#pragma once

// What a procedure under test prints, taken from the standard streams.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace wiretest {

struct captured_text {
    std::string out;
    std::string err;
};

// Runs action and returns what it printed on standard output and standard error.
template <typename Action>
captured_text captured_output(Action action) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    action();
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    return {std::move(out), testing::internal::GetCapturedStderr()};
}

// Runs action and returns what it printed on standard output.
template <typename Action>
std::string captured_stdout(Action action) {
    return captured_output(action).out;
}

}  // namespace wiretest
