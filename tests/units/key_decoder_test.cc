#include "key_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The bytes taken and the codes, from a copy of exactly the bytes, so that the sanitizer sees
// a read past them.
std::pair<std::size_t, std::vector<int>> decode(std::string_view bytes, bool input_ended) {
    const std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    std::array<int, max_codes_per_key> codes{};
    int count = 0;
    const std::size_t taken = decode_key(copy, input_ended, codes, &count);
    return {taken, std::vector<int>(codes.begin(), codes.begin() + count)};
}

// The codes of bytes key by key. Every key is decided once input ends, the same whether or
// not more may come, with codes in 0..255 and every 0 followed by its pair.
std::vector<int> codes_of(std::string_view rest) {
    std::vector<int> all;
    while (!rest.empty() && !testing::Test::HasFailure()) {
        const auto waiting = decode(rest, false);
        const auto [taken, codes] = decode(rest, true);
        EXPECT_TRUE(taken > 0 && taken <= rest.size());
        EXPECT_TRUE(waiting.first == 0 || waiting == std::pair(taken, codes));
        EXPECT_TRUE(codes.empty() || (codes[0] > 0 && codes[0] < 256 && codes.size() == 1) ||
                    (codes[0] == 0 && codes[1] >= 0 && codes[1] < 256));
        all.insert(all.end(), codes.begin(), codes.end());
        rest.remove_prefix(std::min(taken, rest.size()));
    }
    return all;
}

// Each row one key as different terminals spell it ("" first: sequences that are no key),
// each spelling waited for while only its start has come and taken whole, so that the answer
// key after it comes through. Then arbitrary input, biased towards sequence bytes.
TEST(KeyDecoder, EveryInputDecidedEachKeyTakenWholeTheSameInEveryTerminal) {
    // clang-format off
    const std::vector<std::vector<std::string>> keys = {
        {"", "\x1b[200~", "\x1b[I", "\x1b[M!!!", "\x1b[1 q", "\x1b[?1;2c"},
        {"\x1b[A", "\x1bOA", "\x1b[1;2A", "\x1b[a"},
        {"\x1b[D", "\x1bOD", "\x1b[1;2D", "\x1b[d"},
        {"\x1b[1;5D", "\x1bOd", "\x1bO5D"},
        {"\x1b[1~", "\x1b[7~", "\x1b[H", "\x1bOH"},
        {"\x1bOS", "\x1b[[D", "\x1b[S", "\x1b[14~"},
        {"\x1b[25~", "\x1b[1;2R"}, {"\x1b[2$", "\x1b[2;2~"}, {"\x1b[6@", "\x1b[6;6~"}, {"\x1b[Z", "\x1b\t"}};
    const std::pair<std::string, int> answers[] = {{"y", 'y'}, {"N", 'N'}, {"\r", 13}, {"\x1bOM", 13}, {"\x7f", 8}};
    // clang-format on
    std::string bytes;
    std::vector<int> expected;
    std::size_t next = 0;
    for (const auto& group : keys) {
        const std::vector<int> key = decode(group[0], true).second;
        EXPECT_TRUE(group[0].empty() || (key.size() == 2 && key[0] == 0)) << group[0];
        for (const std::string& spelling : group) {
            for (std::size_t length = 1; length < spelling.size(); ++length) {
                EXPECT_EQ(decode(spelling.substr(0, length), false).first, 0U) << spelling;
            }
            const auto& [answer, code] = answers[next++ % 5];
            bytes += spelling + answer;
            expected.insert(expected.end(), key.begin(), key.end());
            expected.push_back(code);
        }
    }
    EXPECT_EQ(codes_of(bytes), expected);
    constexpr std::string_view alphabet = "\x1b\x1b\x1b[[O;;0123456789~ABPZM$^@<?\x7f\xc3\xe2\x80";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string input(random() % 40, '\0');
        for (char& byte : input) {
            byte = random() % 4 == 0 ? static_cast<char>(random())
                                     : alphabet[random() % alphabet.size()];
        }
        codes_of(input);
    }
}

}  // namespace
