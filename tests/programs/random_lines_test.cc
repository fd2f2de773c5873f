// Random and mangled command lines: every run ends by itself with status 0 or 1, writes
// nothing to standard error (where a sanitizer would report) and creates nothing. Each
// line holds "-config", so no run listens or connects.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "harness.h"

namespace wt {
namespace {

// Option stems of both programs, values around their limits, and odd bytes.
const std::vector<std::string> words = [] {
    std::istringstream list(
        "- -help -? /? -pause -port= -quiet -debug -test -readsize= -sendsize= -autosize= "
        "-autoname -sha256 -sha256= --help -V -port 0 1 511 4099 32769 65536 2001 2147483648 "
        "17592186044416 99999999999999999999999 -1 +5 1k 0x10 \xd9\xa3 \xff = 127.0.0.1 "
        "0.0.0.0 name dir/name.ext");
    std::vector<std::string> split{std::istream_iterator<std::string>(list), {}};
    split.insert(split.end(), {" 12", std::string(512, 'n')});
    return split;
}();

std::string random_argument(std::mt19937& random) {
    std::string argument = words[random() % words.size()];
    while (random() % 3 == 0) {
        argument += random() % 2 == 0 ? words[random() % words.size()]
                                      : std::string(1, static_cast<char>(1 + random() % 255));
    }
    for (char& c : argument) {
        c = random() % 4 == 0 ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    }
    return argument;
}

TEST(random_command_lines, end_cleanly_and_create_nothing) {
    std::mt19937 random(2026);
    const std::string dir = temp_dir();
    std::deque<std::pair<std::unique_ptr<process>, std::vector<std::string>>> running;
    const auto finish_oldest = [&] {
        auto& [program, args] = running.front();
        finish(*program, 20000);
        EXPECT_TRUE(program->status == 0 || program->status == 1) << testing::PrintToString(args);
        EXPECT_EQ(program->err, "") << testing::PrintToString(args);
        running.pop_front();
    };
    for (const char* path : {PITCHWIRE_PATH, CATCHWIRE_PATH}) {
        for (int run = 0; run < 300; ++run) {
            std::vector<std::string> args(random() % 8);
            std::generate(args.begin(), args.end(), [&] { return random_argument(random); });
            args.insert(args.begin() + static_cast<long>(random() % (args.size() + 1)), "-CoNfIg");
            running.emplace_back(std::make_unique<process>(), args);
            start(*running.back().first, path, args, {.dir = dir});
            if (running.size() == 4) {
                finish_oldest();
            }
        }
    }
    while (!running.empty()) {
        finish_oldest();
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a refused command line made a file";
    std::filesystem::remove(dir);
}

}  // namespace
}  // namespace wt
