#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// Runs action and returns what it printed on standard output.
template <typename Action>
std::string captured_stdout(Action action) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    action();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
