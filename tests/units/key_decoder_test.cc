#include "key_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

namespace {

struct decoded {
    std::size_t consumed = 0;
    std::vector<int> codes;
};

// From a copy of exactly the bytes, so that the sanitizer sees a read past them.
decoded decode(std::string_view bytes, bool input_ended) {
    const std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    std::array<int, max_codes_per_key> codes{};
    int count = 0;
    const std::size_t consumed = decode_key(copy, input_ended, codes, &count);
    return {consumed, std::vector<int>(codes.begin(), codes.begin() + count)};
}

// The codes of bytes key by key. Every key is decided once input ends, the same whether or
// not more may come, with codes in 0..255 and every 0 followed by its pair.
std::vector<int> codes_of(std::string_view rest) {
    std::vector<int> all;
    for (decoded key; !rest.empty() && !testing::Test::HasFailure();) {
        const decoded waiting = decode(rest, false);
        key = decode(rest, true);
        EXPECT_TRUE(key.consumed > 0 && key.consumed <= rest.size());
        EXPECT_TRUE(waiting.consumed == 0 ||
                    (waiting.consumed == key.consumed && waiting.codes == key.codes));
        EXPECT_TRUE(
            std::ranges::all_of(key.codes, [](int code) { return code >= 0 && code < 256; }));
        EXPECT_TRUE(key.codes.empty() || key.codes[0] != 0 || key.codes.size() == 2);
        all.insert(all.end(), key.codes.begin(), key.codes.end());
        rest.remove_prefix(std::min(key.consumed, rest.size()));
    }
    return all;
}

// Arbitrary input, biased towards sequence bytes.
TEST(KeyDecoder, EveryInputIsDecided) {
    constexpr std::string_view alphabet =
        "\x1b\x1b\x1b[[O;;0123456789~ABPZM$^@<?\x7f\xc3\xe2\xf0\x80";
    std::mt19937 random(7);
    for (int round = 0; round < 20000 && !HasFailure(); ++round) {
        std::string bytes(random() % 40, '\0');
        for (char& byte : bytes) {
            byte = random() % 4 == 0 ? static_cast<char>(random())
                                     : alphabet[random() % alphabet.size()];
        }
        codes_of(bytes);
    }
}

// Each row one key as different terminals spell it ("" first: sequences that are no key),
// each spelling waited for while only its start has come and taken whole, so that the answer
// key after it comes through.
TEST(KeyDecoder, EachKeyTakenWholeTheSameInEveryTerminal) {
    // clang-format off
    const std::vector<std::vector<std::string>> keys = {
        {"", "\x1b[200~", "\x1b[I", "\x1b[M!!!", "\x1b[1 q", "\x1b[?1;2c"},
        {"\x1b[A", "\x1bOA", "\x1b[1;2A", "\x1b[a"},
        {"\x1b[D", "\x1bOD", "\x1b[1;2D", "\x1b[d"},
        {"\x1b[1;5D", "\x1bOd", "\x1bO5D"},
        {"\x1b[1~", "\x1b[7~", "\x1b[H", "\x1bOH"},
        {"\x1bOS", "\x1b[[D", "\x1b[S", "\x1b[14~"},
        {"\x1b[25~", "\x1b[1;2R"},
        {"\x1b[2$", "\x1b[2;2~"},
        {"\x1b[6@", "\x1b[6;6~"},
        {"\x1b[Z", "\x1b\t"}};
    const std::vector<std::pair<std::string, int>> answers = {
        {"y", 'y'}, {"N", 'N'}, {"\r", 13}, {"\x1bOM", 13}, {"\x7f", 8}};
    // clang-format on
    std::string bytes;
    std::vector<int> expected;
    for (const auto& group : keys) {
        const std::vector<int> key = decode(group[0], true).codes;
        EXPECT_TRUE(group[0].empty() || (key.size() == 2 && key[0] == 0)) << group[0];
        for (const std::string& spelling : group) {
            for (std::size_t length = 1; length < spelling.size(); ++length) {
                EXPECT_EQ(decode(spelling.substr(0, length), false).consumed, 0U) << spelling;
            }
            const auto& [answer, code] = answers[bytes.size() % answers.size()];
            bytes += spelling + answer;
            expected.insert(expected.end(), key.begin(), key.end());
            expected.push_back(code);
        }
    }
    EXPECT_EQ(codes_of(bytes), expected);
}

}  // namespace
