#include "key_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct decoded {
    std::size_t consumed = 0;
    std::vector<int> codes;
};

std::span<const unsigned char> as_bytes(std::string_view text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

decoded decode(std::string_view bytes, bool input_ended = false) {
    std::array<int, max_codes_per_key> codes{-1, -1};
    int count = -1;
    decoded result;
    result.consumed = decode_key(as_bytes(bytes), input_ended, codes, &count);
    result.codes.assign(codes.begin(), codes.begin() + count);
    return result;
}

// Decodes bytes as a whole stream after which nothing more comes.
std::vector<int> decode_all(std::string_view bytes) {
    std::vector<int> codes;
    while (!bytes.empty()) {
        const decoded key = decode(bytes, true);
        if (key.consumed == 0 || key.consumed > bytes.size()) {
            ADD_FAILURE() << "no progress";
            break;
        }
        codes.insert(codes.end(), key.codes.begin(), key.codes.end());
        bytes.remove_prefix(key.consumed);
    }
    return codes;
}

using extended_row = std::pair<std::string_view, int>;

// Each sequence must decode completely, without waiting, to 0 and the extended code.
void expect_extended(const std::vector<extended_row>& rows) {
    for (const auto& [sequence, code] : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(sequence)));
        const decoded key = decode(sequence);
        EXPECT_EQ(key.consumed, sequence.size());
        EXPECT_EQ(key.codes, (std::vector<int>{0, code}));
    }
}

TEST(KeyDecoder, FunctionCursorAndEditingKeysOfEveryTerminal) {
    expect_extended({{"\x1bOP", 59},   {"\x1bOS", 62},    {"\x1b[11~", 59},  {"\x1b[14~", 62},
                     {"\x1b[[A", 59},  {"\x1b[[E", 63},   {"\x1b[15~", 63},  {"\x1b[17~", 64},
                     {"\x1b[21~", 68}, {"\x1b[23~", 133}, {"\x1b[24~", 134}, {"\x1b[A", 72},
                     {"\x1b[C", 77},   {"\x1bOB", 80},    {"\x1bOD", 75},    {"\x1b[H", 71},
                     {"\x1bOH", 71},   {"\x1b[1~", 71},   {"\x1b[7~", 71},   {"\x1bOF", 79},
                     {"\x1b[4~", 79},  {"\x1b[8~", 79},   {"\x1b[2~", 82},   {"\x1b[3~", 83},
                     {"\x1b[5~", 73},  {"\x1b[6~", 81},   {"\x1b[Z", 15},    {"\x1b\t", 15}});
}

// Alt wins over Ctrl, Ctrl over Shift; rxvt's forms and the Linux console's Shift+F3..F10.
TEST(KeyDecoder, ModifiedKeys) {
    expect_extended(
        {{"\x1b[1;2P", 84},   {"\x1b[1;5P", 94},   {"\x1b[1;3P", 104},  {"\x1b[1;7P", 104},
         {"\x1b[1;6P", 94},   {"\x1bO5P", 94},     {"\x1bO1;2Q", 85},   {"\x1b[21;3~", 113},
         {"\x1b[23;2~", 135}, {"\x1b[24;5~", 138}, {"\x1b[23;3~", 139}, {"\x1b[17;8~", 109},
         {"\x1b[11^", 94},    {"\x1b[23$", 135},   {"\x1b[25~", 86},    {"\x1b[34~", 93},
         {"\x1b[1;5D", 115},  {"\x1b[5;5~", 132},  {"\x1b[1;5A", 141},  {"\x1b[3;5~", 147},
         {"\x1b[1;3H", 151},  {"\x1b[6;3~", 161},  {"\x1b[1;2A", 72},   {"\x1bOa", 141},
         {"\x1b[b", 80}});
}

TEST(KeyDecoder, AltWithLettersDigitsAndBackspace) {
    const std::vector<std::pair<std::string_view, int>> rows = {
        {"QWERTYUIOP", 16}, {"ASDFGHJKL", 30}, {"ZXCVBNM", 44}, {"123456789", 120}};
    for (const auto& [keys, first_code] : rows) {
        for (std::size_t index = 0; index < keys.size(); ++index) {
            const std::vector<int> expected{0, first_code + static_cast<int>(index)};
            const auto lower = static_cast<char>(std::tolower(keys[index]));
            // ESC O starts a sequence too: Alt+O is decided when nothing follows.
            EXPECT_EQ(decode_all(std::string{'\x1b', keys[index]}), expected) << keys[index];
            EXPECT_EQ(decode_all(std::string{'\x1b', lower}), expected) << lower;
        }
    }
    expect_extended(
        {{"\x1b\x30", 129}, {"\x1b-", 130}, {"\x1b=", 131}, {"\x1b\x7f", 14}, {"\x1b\b", 14}});
}

TEST(KeyDecoder, IncompleteSequenceWaitsUntilInputEnds) {
    for (const std::string_view start :
         {"\x1b", "\x1b[", "\x1bO", "\x1b[1;5", "\x1b[[", "\x1b[M\x20"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(start)));
        EXPECT_EQ(decode(start).consumed, 0U);
    }
    // When nothing more comes: ESC is Escape, ESC [ is Escape then "[", ESC O is Alt+O,
    // longer starts drop.
    EXPECT_EQ(decode_all("\x1b"), std::vector<int>{27});
    EXPECT_EQ(decode_all("\x1b["), (std::vector<int>{27, '['}));
    EXPECT_EQ(decode_all("\x1bO"), (std::vector<int>{0, 24}));
    EXPECT_TRUE(decode_all("\x1b[1;5").empty());
    EXPECT_EQ(decode_all("\x1b,"), (std::vector<int>{27, ','}));
    EXPECT_EQ(decode_all("\x1b\x1b[A"), (std::vector<int>{27, 0, 72}));
    EXPECT_EQ(decode_all("a\x1b[Bb"), (std::vector<int>{'a', 0, 80, 'b'}));
}

TEST(KeyDecoder, UnknownMalformedAndRunawaySequencesAreDropped) {
    for (const std::string_view sequence :
         {"\x1b[I", "\x1b[O", "\x1b[200~", "\x1b[201~", "\x1b[<0;10;5M", "\x1b[M !!",
          "\x1b[27;5;13~", "\x1b[99~", "\x1b[?1;2c", "\x1b[E", "\x1bOz", "\x1b[[Z"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(sequence)));
        const decoded key = decode(sequence);
        EXPECT_EQ(key.consumed, sequence.size());
        EXPECT_TRUE(key.codes.empty());
    }
    EXPECT_EQ(decode_all("\x1b[200~hi\x1b[201~"), (std::vector<int>{'h', 'i'}));
    // A control byte inside a sequence breaks it off and is a key of its own.
    EXPECT_EQ(decode_all("\x1b[1\x03y"), (std::vector<int>{3, 'y'}));
    const decoded runaway = decode("\x1b[" + std::string(60, '1'));
    EXPECT_GT(runaway.consumed, 0U);
    EXPECT_LE(runaway.consumed, max_sequence_length);
    EXPECT_TRUE(runaway.codes.empty());
}

TEST(KeyDecoder, SingleBytes) {
    EXPECT_EQ(decode_all("\x7f"), std::vector<int>{8});
    EXPECT_EQ(decode_all(std::string_view("\0", 1)), (std::vector<int>{0, 3}));
    for (int control = 1; control <= 26; ++control) {
        EXPECT_EQ(decode_all(std::string(1, static_cast<char>(control))),
                  std::vector<int>{control});
    }
    EXPECT_EQ(decode_all("\x1c\x1f yY~"), (std::vector<int>{28, 31, ' ', 'y', 'Y', '~'}));
    EXPECT_EQ(decode_all("\x1bOM\x1bOp\x1bOk"), (std::vector<int>{13, '0', '+'}));
}

TEST(KeyDecoder, Utf8CharactersBecomeOneLatin1Code) {
    EXPECT_EQ(decode_all("\xc3\xa9\xc3\xbf\xc2\x80"), (std::vector<int>{0xe9, 0xff, 0x80}));
    EXPECT_EQ(decode_all("\xe2\x82\xac\xf0\x9f\x98\x80"), (std::vector<int>{'?', '?'}));
    EXPECT_EQ(decode("\xc3").consumed, 0U);
    EXPECT_EQ(decode("\xf0\x9f\x98").consumed, 0U);
    // Bytes that do not form a character are taken as Latin-1, one code each.
    for (const std::string_view bytes :
         {"\xc3", "\xc3\x41", "\xa9", "\xc0\x80", "\xed\xa0\x80", "\xf5\x80"}) {
        EXPECT_EQ(decode_all(bytes),
                  std::vector<int>(as_bytes(bytes).begin(), as_bytes(bytes).end()))
            << testing::PrintToString(std::string(bytes));
    }
}

// Arbitrary input, biased towards sequence bytes, must always make progress and give codes
// in 0..255 with every 0 followed by its second half.
TEST(KeyDecoder, ArbitraryInputIsAlwaysDecidedSafely) {
    constexpr std::string_view alphabet =
        "\x1b\x1b\x1b[[O;;0123456789~ABPZM$^@<?\x7f\x03\xc3\xa9\xe2\xf0\x80";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 40, '\0');
        for (char& byte : bytes) {
            byte = random() % 4 == 0 ? static_cast<char>(random() % 256)
                                     : alphabet[random() % alphabet.size()];
        }
        std::string_view rest = bytes;
        while (!rest.empty()) {
            const decoded waiting = decode(rest, false);
            ASSERT_LE(waiting.consumed, rest.size());
            const decoded key = decode(rest, true);
            ASSERT_GT(key.consumed, 0U);
            ASSERT_LE(key.consumed, rest.size());
            ASSERT_LE(key.codes.size(), max_codes_per_key);
            if (waiting.consumed != 0) {
                ASSERT_EQ(waiting.consumed, key.consumed);
                ASSERT_EQ(waiting.codes, key.codes);
            }
            for (const int code : key.codes) {
                ASSERT_GE(code, 0);
                ASSERT_LE(code, 255);
            }
            if (!key.codes.empty() && key.codes[0] == 0) {
                ASSERT_EQ(key.codes.size(), 2U);
            }
            rest.remove_prefix(key.consumed);
        }
    }
}

}  // namespace
