// Thousands of random and mutated command lines for both programs: each run must end by
// itself with status 0 or 1, print no sanitizer report, begin its output with a banner or
// a known error line, and create nothing. Every line holds "-config" (in some letter case),
// so no run ever listens or connects.

#include <array>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "printed_text.h"
#include "program_runner.h"

namespace {

using namespace wiretest;

constexpr int runs_per_program = 1000;
constexpr std::size_t runs_in_flight = 4;

// Lists separated by "|".
std::vector<std::string> split(std::string_view list) {
    std::vector<std::string> items;
    for (std::size_t start = 0, end = 0; end != std::string_view::npos; start = end + 1) {
        end = list.find('|', start);
        items.emplace_back(list.substr(start, end - start));
    }
    return items;
}

const std::vector<std::string> sender_options = split(
    "-|-config|-help|-?|/?|-pause|-port=|-quiet|-debug|-test|-readsize=|-sendsize=|-readsize|"
    "-sendsize|-readsizes=|-port");
const std::vector<std::string> receiver_options = split(
    "-|-config|-help|-?|/?|-pause|-debug|-port=|-quiet|-autosize=|-autosize|-autoname|"
    "-port|-autosizeX|-autonamed");
// Values around every limit of the options, signs, blanks, suffixes and bytes above 127;
// the first is the empty value.
const std::vector<std::string> odd_values = split(
    "|0|1|3|511|512|4096|4099|16384|32767|32768|32769|65535|65536|65537|100000|2000|2001|2047|"
    "2048|4095|2147483647|2147483648|4294967295|4294967296|17592186044415|17592186044416|"
    "18446744073709551615|18446744073709551616|99999999999999999999999999999999|-1|+5| 12|12 |"
    "1k|0x10|1e3|\xd9\xa3|\xff|=|==|1=2|127.0.0.1");

using generator = std::mt19937;

std::size_t pick(generator& random, std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
}

// A text of random bytes 1..255 (arguments cannot hold 0), sometimes far beyond 511.
std::string random_text(generator& random) {
    static constexpr std::array<std::size_t, 6> lengths{0, 1, 8, 100, 600, 5000};
    const std::size_t length = pick(random, lengths[pick(random, lengths.size())] + 1);
    std::string text(length, 'x');
    for (char& byte : text) {
        byte = static_cast<char>(1 + pick(random, 255));
    }
    return text;
}

// Upper or lower case letters at random, as the parsers must ignore case.
std::string random_case(generator& random, std::string text) {
    for (char& character : text) {
        if (pick(random, 2) == 0) {
            character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
        }
    }
    return text;
}

std::string random_argument(generator& random, const std::vector<std::string>& options) {
    switch (pick(random, 6)) {
        case 0:
        case 1: {
            std::string option = random_case(random, options[pick(random, options.size())]);
            if (option.back() == '=' || pick(random, 4) == 0) {
                option += pick(random, 3) == 0 ? random_text(random)
                                               : odd_values[pick(random, odd_values.size())];
            }
            return option;
        }
        case 2:
            return "-" + random_text(random);
        case 3:
            return std::string(pick(random, 2) == 0 ? "name" : "dir/name.ext") +
                   (pick(random, 2) == 0 ? "" : random_text(random));
        case 4:
            return odd_values[pick(random, odd_values.size())];
        default:
            return random_text(random);
    }
}

// Changes one byte, drops one, or inserts one.
void mutate(generator& random, std::string& text) {
    const auto byte = static_cast<char>(1 + pick(random, 255));
    const std::size_t at = pick(random, text.size() + 1);
    const std::size_t how = at == text.size() ? 2 : pick(random, 3);
    if (how == 0) {
        text[at] = byte;
    } else if (how == 1) {
        text.erase(at, 1);
    } else {
        text.insert(at, 1, byte);
    }
}

std::vector<std::string> random_command_line(generator& random,
                                             const std::vector<std::string>& options) {
    std::vector<std::string> args;
    const std::size_t count = pick(random, 9);
    for (std::size_t index = 0; index < count; ++index) {
        args.push_back(random_argument(random, options));
        if (pick(random, 5) == 0) {
            mutate(random, args.back());
        }
        if (pick(random, 6) == 0) {
            args.push_back(args.back());
        }
    }
    if (pick(random, 50) != 0) {
        args.insert(args.begin() + static_cast<long>(pick(random, args.size() + 1)),
                    random_case(random, "-config"));
    } else {
        args.clear();  // the bare call: banner and usage, nothing else
    }
    return args;
}

// The beginnings a run's output may have besides an error or warning line: the full
// banner's first line, and main's quiet banner (an empty line, the title and the version).
std::vector<std::string> banners_of(const std::string& program) {
    const std::string out = run_program(program, {}).out;
    const std::size_t version = out.find("\n" + version_line);
    if (version == std::string::npos) {
        return {};
    }
    const std::size_t title = out.rfind("\n\n", version) + 1;
    const std::size_t banner_end = version + 1 + version_line.size();
    return {out.substr(0, out.find('\n') + 1), out.substr(title, banner_end - title)};
}

// The whole output of "--version" and "-V", such as "pitchwire 1.34\n".
std::string version_line_of(const std::string& program) {
    return std::filesystem::path(program).filename().string() + " 1.34\n";
}

// Why the run is wrong, or "" when it is right.
std::string judge(const program_result& result, const std::vector<std::string>& banners,
                  const std::string& version_line) {
    if (result.timed_out) {
        return "did not end by itself";
    }
    if (result.term_signal != 0) {
        return "died of signal " + std::to_string(result.term_signal);
    }
    if (result.exit_status != 0 && result.exit_status != 1) {
        return "exit status " + std::to_string(result.exit_status);
    }
    if (!result.err.empty()) {
        return "wrote to standard error: " + testing::PrintToString(result.err.substr(0, 2000));
    }
    const std::string& out = result.out;
    if (!out.starts_with(banners[0]) && !out.starts_with(banners[1]) &&
        !out.starts_with("Error: ") && !out.starts_with("Warning: ") && out != version_line) {
        return "output begins neither with a banner nor a known line: " +
               testing::PrintToString(out.substr(0, 200));
    }
    return {};
}

void run_many(const std::string& program, const std::vector<std::string>& options, unsigned seed) {
    // A sanitizer report gets a status of its own, besides its text on standard error.
    setenv("ASAN_OPTIONS", "exitcode=86:detect_leaks=1", 0);
    setenv("UBSAN_OPTIONS", "exitcode=87:print_stacktrace=1", 0);
    const std::vector<std::string> banners = banners_of(program);
    ASSERT_EQ(banners.size(), 2U) << "the bare call printed no banner";
    const std::string dir = make_temp_dir();
    run_options in_dir;
    in_dir.working_directory = dir;
    generator random(seed);
    int failures = 0;

    struct in_flight_run {
        running_program program;
        std::vector<std::string> args;
    };
    std::deque<in_flight_run> runs;
    auto finish_oldest = [&] {
        in_flight_run& oldest = runs.front();
        const program_result result = finish_program(oldest.program, 20000);
        if (const std::string wrong = judge(result, banners, version_line_of(program));
            !wrong.empty() && ++failures <= 10) {
            ADD_FAILURE() << program << testing::PrintToString(oldest.args) << ": " << wrong;
        }
        runs.pop_front();
    };
    for (int index = 0; index < runs_per_program; ++index) {
        std::vector<std::string> args = random_command_line(random, options);
        runs.push_back({start_program(program, args, in_dir), std::move(args)});
        if (runs.size() >= runs_in_flight) {
            finish_oldest();
        }
    }
    while (!runs.empty()) {
        finish_oldest();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir)) << "a refused command line created a file";
}

TEST(BadArguments, Pitchwire) {
    run_many(pitchwire_path(), sender_options, 1999);
}

TEST(BadArguments, Catchwire) {
    run_many(catchwire_path(), receiver_options, 134);
}

}  // namespace
