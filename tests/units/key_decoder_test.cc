#include "key_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

// The bytes taken and the codes, from a copy of exactly the bytes, so that the sanitizer sees
// a read past them.
static std::pair<std::size_t, std::vector<int>> decode(std::string_view bytes, bool input_ended) {
    const std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    std::array<int, max_codes_per_key> codes{};
    int count = 0;
    const std::size_t taken = decode_key(copy, input_ended, codes, &count);
    return {taken, std::vector<int>(codes.begin(), codes.begin() + count)};
}

// The codes of bytes key by key. Every key is decided once input ends; while more may come,
// the bytes up to it and one past it are waited for or decided as that key.
static std::vector<int> codes_of(std::string_view rest) {
    std::vector<int> all;
    while (!rest.empty() && !testing::Test::HasFailure()) {
        const auto [taken, codes] = decode(rest, true);
        EXPECT_TRUE(taken > 0 && taken <= rest.size()) << rest;
        for (std::size_t length = 1; length <= std::min(rest.size(), taken + 1); ++length) {
            const auto waiting = decode(rest.substr(0, length), false);
            EXPECT_TRUE(waiting.first == 0 || waiting == std::pair(taken, codes)) << rest;
        }
        all.insert(all.end(), codes.begin(), codes.end());
        rest.remove_prefix(std::min(taken, rest.size()));
    }
    return all;
}

// Each row one key as different terminals spell it ("" first: sequences that are no key),
// each spelling taken whole, so that the "y" after it comes through. Then random input of
// sequence and UTF-8 bytes, ending anywhere.
TEST(KeyDecoder, EveryInputDecidedEachKeyTakenWholeTheSameInEveryTerminal) {
    // clang-format off
    const std::vector<std::vector<std::string>> keys = {
        {"", "\x1b[200~", "\x1b[M!!!", "\x1b[1 q", "\x1b[?1;2c"}, {"\r", "\x1bOM"}, {"\x7f", "\b"},
        {"\x1b[D", "\x1bOD", "\x1b[1;2D", "\x1b[d"}, {"\x1b[1~", "\x1b[7~", "\x1b[H", "\x1bOH"},
        {"\x1b[2$", "\x1b[2;2~"}, {"\x1bOS", "\x1b[[D", "\x1b[S", "\x1b[14~"}, {"\x1b[Z", "\x1b\t"},
        {"\x1b[1;5D", "\x1bOd", "\x1bO5D"}, {"\x1b[25~", "\x1b[1;2R"}, {"\x1b[6@", "\x1b[6;6~"}};
    // clang-format on
    for (const auto& group : keys) {
        EXPECT_EQ(codes_of(group[0]).empty(), group[0].empty()) << group[0];
        for (const std::string& spelling : group) {
            EXPECT_EQ(codes_of(spelling + "y"), codes_of(group[0] + "y")) << spelling;
        }
    }
    constexpr std::string_view alphabet = "\x1b\x1b\x1b[[O;;0123456789~ABPZM$^@<?\x7f\xc3\xe2\x80";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string input(random() % 40, '\0');
        std::ranges::generate(input, [&] { return alphabet[random() % alphabet.size()]; });
        codes_of(input);
    }
}
