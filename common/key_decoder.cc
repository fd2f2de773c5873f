#include "key_decoder.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace {

constexpr unsigned char escape_byte = 27;
constexpr int enter_code = 13;
constexpr int unknown_character_code = '?';

// Modifier bits as the terminals number them: the parameter is 1 + the sum of these.
constexpr int shift_modifier = 1;
constexpr int alt_modifier = 2;
constexpr int ctrl_modifier = 4;

// Extended codes of the cursor and editing keys without a modifier.
constexpr int up_code = 72;
constexpr int down_code = 80;
constexpr int right_code = 77;
constexpr int left_code = 75;
constexpr int home_code = 71;
constexpr int end_code = 79;
constexpr int insert_code = 82;
constexpr int delete_code = 83;
constexpr int page_up_code = 73;
constexpr int page_down_code = 81;
constexpr int shift_tab_code = 15;

// Stores a key that yields one code.
void set_codes(std::span<int, max_codes_per_key> codes, int* code_count, int first) {
    codes[0] = first;
    *code_count = 1;
}

// Stores a key that yields 0 and then its extended code.
void set_extended(std::span<int, max_codes_per_key> codes, int* code_count, int extended) {
    codes[0] = 0;
    codes[1] = extended;
    *code_count = 2;
}

// The Alt code of a letter, digit, "-", "=" or Backspace typed after Escape, else 0.
int alt_key_code(unsigned char byte) {
    constexpr std::string_view top_row = "QWERTYUIOP";
    constexpr std::string_view middle_row = "ASDFGHJKL";
    constexpr std::string_view bottom_row = "ZXCVBNM";
    if (byte >= 'a' && byte <= 'z') {
        byte = static_cast<unsigned char>(byte - 'a' + 'A');
    }
    if (auto at = top_row.find(static_cast<char>(byte)); at != std::string_view::npos) {
        return 16 + static_cast<int>(at);
    }
    if (auto at = middle_row.find(static_cast<char>(byte)); at != std::string_view::npos) {
        return 30 + static_cast<int>(at);
    }
    if (auto at = bottom_row.find(static_cast<char>(byte)); at != std::string_view::npos) {
        return 44 + static_cast<int>(at);
    }
    if (byte >= '1' && byte <= '9') {
        return 120 + (byte - '1');
    }
    switch (byte) {
        case '0':
            return 129;
        case '-':
            return 130;
        case '=':
            return 131;
        case 8:
        case 127:
            return 14;
        default:
            return 0;
    }
}

// The extended code of function key number (1..12) with the modifier bits; Alt wins over
// Ctrl, Ctrl over Shift, as on the PC keyboard.
int function_key_code(int number, int modifiers) {
    if (number <= 10) {
        const int plain = 58 + number;
        if ((modifiers & alt_modifier) != 0) {
            return plain + 45;
        }
        if ((modifiers & ctrl_modifier) != 0) {
            return plain + 35;
        }
        if ((modifiers & shift_modifier) != 0) {
            return plain + 25;
        }
        return plain;
    }
    const int offset = number - 11;
    if ((modifiers & alt_modifier) != 0) {
        return 139 + offset;
    }
    if ((modifiers & ctrl_modifier) != 0) {
        return 137 + offset;
    }
    if ((modifiers & shift_modifier) != 0) {
        return 135 + offset;
    }
    return 133 + offset;
}

// The extended code of a cursor or editing key (given by its plain code) with the modifier
// bits; Shift leaves the plain code.
int edit_key_code(int plain, int modifiers) {
    if ((modifiers & alt_modifier) != 0) {
        return plain + 80;
    }
    if ((modifiers & ctrl_modifier) == 0) {
        return plain;
    }
    switch (plain) {
        case left_code:
            return 115;
        case right_code:
            return 116;
        case end_code:
            return 117;
        case page_down_code:
            return 118;
        case home_code:
            return 119;
        case page_up_code:
            return 132;
        case up_code:
            return 141;
        case down_code:
            return 145;
        case insert_code:
            return 146;
        default:
            return 147;  // Delete
    }
}

// The plain code of a cursor key sent as a letter (ESC [ A, ESC O H, ...), else 0.
int cursor_letter_code(unsigned char letter) {
    switch (letter) {
        case 'A':
            return up_code;
        case 'B':
            return down_code;
        case 'C':
            return right_code;
        case 'D':
            return left_code;
        case 'H':
            return home_code;
        case 'F':
            return end_code;
        default:
            return 0;
    }
}

// The modifier bits of a modifier parameter (2 = Shift ... 8 = Ctrl+Alt+Shift); 0 or 1 means
// none, and the Meta bit is ignored.
int modifier_bits(int parameter) {
    return parameter >= 2 ? (parameter - 1) & (shift_modifier | alt_modifier | ctrl_modifier) : 0;
}

// Splits "n;m" into at most two numbers (absent ones are -1). Returns false for anything
// else: private markers, sub-parameters, three or more numbers.
bool parse_parameters(std::span<const unsigned char> text, std::array<int, 2>& numbers) {
    numbers = {-1, -1};
    std::size_t index = 0;
    for (const unsigned char byte : text) {
        if (byte == ';') {
            if (++index >= numbers.size()) {
                return false;
            }
        } else if (byte >= '0' && byte <= '9') {
            const int value = numbers[index] < 0 ? 0 : numbers[index];
            // Far beyond any key number; the cap only keeps the arithmetic in range.
            numbers[index] = value > 9999 ? value : value * 10 + (byte - '0');
        } else {
            return false;
        }
    }
    return true;
}

// The codes of ESC [ n ~ (and of the rxvt forms ending in $, ^ and @) for key number n.
void decode_numbered_key(int number, int modifiers, std::span<int, max_codes_per_key> codes,
                         int* code_count) {
    // VT220 F13..F20, which the Linux console and rxvt send for Shift+F3..Shift+F10.
    constexpr std::array<int, 8> shifted_numbers = {25, 26, 28, 29, 31, 32, 33, 34};
    switch (number) {
        case 1:
        case 7:
            set_extended(codes, code_count, edit_key_code(home_code, modifiers));
            return;
        case 2:
            set_extended(codes, code_count, edit_key_code(insert_code, modifiers));
            return;
        case 3:
            set_extended(codes, code_count, edit_key_code(delete_code, modifiers));
            return;
        case 4:
        case 8:
            set_extended(codes, code_count, edit_key_code(end_code, modifiers));
            return;
        case 5:
            set_extended(codes, code_count, edit_key_code(page_up_code, modifiers));
            return;
        case 6:
            set_extended(codes, code_count, edit_key_code(page_down_code, modifiers));
            return;
        default:
            break;
    }
    if (number >= 11 && number <= 15) {
        set_extended(codes, code_count, function_key_code(number - 10, modifiers));
    } else if (number >= 17 && number <= 21) {
        set_extended(codes, code_count, function_key_code(number - 11, modifiers));
    } else if (number == 23 || number == 24) {
        set_extended(codes, code_count, function_key_code(number - 12, modifiers));
    } else {
        for (std::size_t index = 0; index < shifted_numbers.size(); ++index) {
            if (shifted_numbers[index] == number) {
                const int function_number = 3 + static_cast<int>(index);
                set_extended(codes, code_count,
                             function_key_code(function_number, modifiers | shift_modifier));
            }
        }
    }
}

// Interprets a complete ESC [ sequence from its parameter text and final byte; unknown
// sequences leave *code_count at 0.
void interpret_csi(std::span<const unsigned char> parameters, unsigned char final_byte,
                   std::span<int, max_codes_per_key> codes, int* code_count) {
    std::array<int, 2> numbers{};
    if (!parse_parameters(parameters, numbers)) {
        return;
    }
    const bool plain_position = numbers[0] <= 1;
    if (final_byte == '~' || final_byte == '$' || final_byte == '^' || final_byte == '@') {
        int modifiers = modifier_bits(numbers[1]);
        if (final_byte == '$') {
            modifiers = shift_modifier;
        } else if (final_byte == '^') {
            modifiers = ctrl_modifier;
        } else if (final_byte == '@') {
            modifiers = ctrl_modifier | shift_modifier;
        }
        decode_numbered_key(numbers[0], modifiers, codes, code_count);
    } else if (const int cursor = cursor_letter_code(final_byte); cursor != 0 && plain_position) {
        set_extended(codes, code_count, edit_key_code(cursor, modifier_bits(numbers[1])));
    } else if (final_byte >= 'P' && final_byte <= 'S' && plain_position) {
        set_extended(codes, code_count,
                     function_key_code(final_byte - 'P' + 1, modifier_bits(numbers[1])));
    } else if (final_byte == 'Z' && plain_position) {
        set_extended(codes, code_count, shift_tab_code);
    } else if (final_byte >= 'a' && final_byte <= 'd' && numbers[0] < 0) {
        // rxvt's Shift+cursor keys.
        set_extended(codes, code_count, cursor_letter_code(final_byte - 'a' + 'A'));
    }
}

// Interprets a complete ESC O sequence (application cursor and keypad keys).
void interpret_ss3(std::span<const unsigned char> parameters, unsigned char final_byte,
                   std::span<int, max_codes_per_key> codes, int* code_count) {
    // Keypad keys in application mode, from "j" on: * + , - . / 0..9
    constexpr std::string_view keypad_characters = "*+,-./0123456789";
    std::array<int, 2> numbers{};
    if (!parse_parameters(parameters, numbers)) {
        return;
    }
    // Old xterms send the modifier as the only parameter (ESC O 5 P).
    const int modifiers = modifier_bits(numbers[1] >= 0 ? numbers[1] : numbers[0]);
    if (const int cursor = cursor_letter_code(final_byte); cursor != 0) {
        set_extended(codes, code_count, edit_key_code(cursor, modifiers));
    } else if (final_byte >= 'P' && final_byte <= 'S') {
        set_extended(codes, code_count, function_key_code(final_byte - 'P' + 1, modifiers));
    } else if (final_byte >= 'a' && final_byte <= 'd') {
        // rxvt's Ctrl+cursor keys.
        set_extended(codes, code_count,
                     edit_key_code(cursor_letter_code(final_byte - 'a' + 'A'), ctrl_modifier));
    } else if (final_byte == 'M') {
        set_codes(codes, code_count, enter_code);
    } else if (final_byte == 'X') {
        set_codes(codes, code_count, '=');
    } else if (final_byte >= 'j' && final_byte <= 'y') {
        set_codes(codes, code_count, keypad_characters[final_byte - 'j']);
    }
}

// Decodes a control sequence that starts with ESC and the introducer at bytes[1] ("[" or
// "O"): parameters, optional intermediates, one final byte. Returns the bytes taken, or 0
// when more are needed.
std::size_t decode_control_sequence(std::span<const unsigned char> bytes, bool input_ended,
                                    std::span<int, max_codes_per_key> codes, int* code_count) {
    const bool is_csi = bytes[1] == '[';
    std::size_t position = 2;
    while (position < bytes.size() && position < max_sequence_length && bytes[position] >= 0x30 &&
           bytes[position] <= 0x3F) {
        ++position;
    }
    const std::size_t parameters_end = position;
    // rxvt ends Shift+key sequences with "$", which is otherwise an intermediate byte.
    const bool dollar_final = is_csi && position < bytes.size() && bytes[position] == '$';
    if (!dollar_final) {
        while (position < bytes.size() && position < max_sequence_length &&
               bytes[position] >= 0x20 && bytes[position] <= 0x2F) {
            ++position;
        }
    }
    if (position >= max_sequence_length) {
        return position;  // runaway sequence: dropped
    }
    if (position == bytes.size()) {
        return input_ended ? position : 0;  // incomplete: dropped once no more can come
    }
    const unsigned char final_byte = bytes[position];
    if (!dollar_final && (final_byte < 0x40 || final_byte > 0x7E)) {
        return position;  // malformed: dropped up to the byte that broke it
    }
    if (position == parameters_end) {
        const auto parameters = bytes.subspan(2, parameters_end - 2);
        if (is_csi) {
            interpret_csi(parameters, final_byte, codes, code_count);
        } else {
            interpret_ss3(parameters, final_byte, codes, code_count);
        }
    }
    return position + 1;
}

// Decodes what starts with ESC: a control sequence, Alt with a key, or Escape itself.
std::size_t decode_escape(std::span<const unsigned char> bytes, bool input_ended,
                          std::span<int, max_codes_per_key> codes, int* code_count) {
    if (bytes.size() == 1) {
        if (!input_ended) {
            return 0;
        }
        set_codes(codes, code_count, escape_byte);
        return 1;
    }
    const unsigned char second = bytes[1];
    if (second == '[') {
        if (bytes.size() == 2) {
            if (!input_ended) {
                return 0;
            }
            set_codes(codes, code_count, escape_byte);  // the "[" follows as its own key
            return 1;
        }
        if (bytes[2] == '[') {
            // Linux console F1..F5: ESC [ [ A..E
            if (bytes.size() == 3) {
                return input_ended ? 3 : 0;
            }
            if (bytes[3] >= 'A' && bytes[3] <= 'E') {
                set_extended(codes, code_count, function_key_code(bytes[3] - 'A' + 1, 0));
            }
            return bytes[3] >= 0x20 && bytes[3] <= 0x7E ? 4 : 3;
        }
        if (bytes[2] == 'M') {
            // A mouse report: ESC [ M and three raw bytes, dropped.
            constexpr std::size_t mouse_report_length = 6;
            if (bytes.size() < mouse_report_length) {
                return input_ended ? bytes.size() : 0;
            }
            return mouse_report_length;
        }
        return decode_control_sequence(bytes, input_ended, codes, code_count);
    }
    if (second == 'O') {
        if (bytes.size() == 2) {
            if (!input_ended) {
                return 0;
            }
            set_extended(codes, code_count, alt_key_code(second));
            return 2;
        }
        return decode_control_sequence(bytes, input_ended, codes, code_count);
    }
    if (second == '\t') {
        set_extended(codes, code_count, shift_tab_code);  // the Linux console's Shift+Tab
        return 2;
    }
    if (const int alt_code = alt_key_code(second); alt_code != 0) {
        set_extended(codes, code_count, alt_code);
        return 2;
    }
    set_codes(codes, code_count, escape_byte);  // the next byte is a key of its own
    return 1;
}

// Decodes a byte of 128 or more: a UTF-8 character becomes its Latin-1 code, or "?" beyond
// Latin-1; a byte that does not start a valid character is taken as Latin-1 itself.
std::size_t decode_utf8(std::span<const unsigned char> bytes, bool input_ended,
                        std::span<int, max_codes_per_key> codes, int* code_count) {
    const unsigned char lead = bytes[0];
    std::size_t length = 0;
    std::uint32_t value = 0;
    std::uint32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1FU;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0FU;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07U;
        smallest = 0x10000;
    }
    bool valid = length != 0;
    for (std::size_t index = 1; valid && index < length; ++index) {
        if (index >= bytes.size()) {
            if (!input_ended) {
                return 0;
            }
            valid = false;
        } else if ((bytes[index] & 0xC0U) != 0x80U) {
            valid = false;
        } else {
            value = (value << 6U) | (bytes[index] & 0x3FU);
        }
    }
    if (valid && (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))) {
        valid = false;
    }
    if (!valid) {
        set_codes(codes, code_count, lead);
        return 1;
    }
    set_codes(codes, code_count, value <= 0xFF ? static_cast<int>(value) : unknown_character_code);
    return length;
}

}  // namespace

std::size_t decode_key(std::span<const unsigned char> bytes, bool input_ended,
                       std::span<int, max_codes_per_key> codes, int* code_count) {
    *code_count = 0;
    if (bytes.empty()) {
        return 0;
    }
    const unsigned char first = bytes[0];
    if (first == escape_byte) {
        return decode_escape(bytes, input_ended, codes, code_count);
    }
    if (first >= 0x80) {
        return decode_utf8(bytes, input_ended, codes, code_count);
    }
    if (first == 0) {
        set_extended(codes, code_count, 3);  // Ctrl+@ / Ctrl+Space, as the PC gives it
    } else if (first == 127) {
        set_codes(codes, code_count, 8);  // Backspace sends DEL
    } else {
        set_codes(codes, code_count, first);
    }
    return 1;
}
