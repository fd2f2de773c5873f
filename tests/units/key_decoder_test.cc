#include "key_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct decoded {
    std::size_t consumed = 0;
    std::vector<int> codes;
};

decoded decode(std::string_view bytes, bool input_ended) {
    std::array<int, max_codes_per_key> codes{};
    int count = 0;
    const std::size_t consumed =
        decode_key({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                   input_ended, codes, &count);
    return {consumed, std::vector<int>(codes.begin(), codes.begin() + count)};
}

// The keys the prompts take (Y, N, Enter, Backspace) and sequences taken whole around them,
// each row read key by key as the whole input.
TEST(KeyDecoder, AnswerKeysAndWholeSequences) {
    // clang-format off
    const std::pair<std::string_view, std::vector<int>> rows[] = {
        {"yYnN q", {'y', 'Y', 'n', 'N', ' ', 'q'}}, {"\r\x1bOM\x7f", {13, 13, 8}}, {"\x1b", {27}},
        {"\x1b[", {27, '['}}, {"\x1b,y", {27, ',', 'y'}}, {"a\x1b[Bb", {'a', 0, 80, 'b'}},
        {"\x1b[1;5Dy", {0, 115, 'y'}}, {"\x1b[200~y\x1b[201~", {'y'}}, {"\x1b[1\x03y", {3, 'y'}},
        {"\xc3\xa9\xe2\x82\xac\xc3\x41", {0xe9, '?', 0xc3, 'A'}}};
    // clang-format on
    for (auto [rest, expected] : rows) {
        std::vector<int> codes;
        for (decoded key; !rest.empty(); rest.remove_prefix(key.consumed)) {
            key = decode(rest, true);
            ASSERT_TRUE(key.consumed > 0 && key.consumed <= rest.size());
            codes.insert(codes.end(), key.codes.begin(), key.codes.end());
        }
        EXPECT_EQ(codes, expected);
    }
}

// A key split across reads is waited for, but a runaway sequence is not.
TEST(KeyDecoder, StartOfAKeyWaitsForTheRest) {
    for (const std::string_view start :
         {"\x1b", "\x1b[", "\x1bO", "\x1b[1;5", "\xc3", "\xf0\x9f\x98"}) {
        EXPECT_EQ(decode(start, false).consumed, 0U) << testing::PrintToString(std::string(start));
    }
    const decoded runaway = decode("\x1b[" + std::string(60, '1'), false);
    EXPECT_TRUE(runaway.consumed > 0 && runaway.consumed <= max_sequence_length);
}

// Arbitrary input, biased towards sequence bytes: every key is decided once input ends, the
// same whether or not more may come, with codes in 0..255 and every 0 followed by its pair.
TEST(KeyDecoder, EveryInputIsDecided) {
    constexpr std::string_view alphabet =
        "\x1b\x1b\x1b[[O;;0123456789~ABPZM$^@<?\x7f\x03\xc3\xe2\xf0\x80";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 40, '\0');
        for (char& byte : bytes) {
            byte = random() % 4 == 0 ? static_cast<char>(random())
                                     : alphabet[random() % alphabet.size()];
        }
        for (std::string_view rest = bytes; !rest.empty();) {
            const decoded waiting = decode(rest, false);
            const decoded key = decode(rest, true);
            ASSERT_TRUE(key.consumed > 0 && key.consumed <= rest.size());
            ASSERT_TRUE(waiting.consumed == 0 ||
                        (waiting.consumed == key.consumed && waiting.codes == key.codes));
            for (const int code : key.codes) {
                ASSERT_TRUE(code >= 0 && code <= 255) << code;
            }
            ASSERT_TRUE(key.codes.empty() || key.codes[0] != 0 || key.codes.size() == 2);
            rest.remove_prefix(key.consumed);
        }
    }
}

}  // namespace
