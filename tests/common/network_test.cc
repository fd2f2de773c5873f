#include "network.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "output_capture.h"

namespace {

using wiretest::captured_stdout;

TEST(SocketErrorText, FixedTextsAndTheSharedFallback) {
    EXPECT_STREQ(socket_error_text(10061), "Connection Refused");
    EXPECT_STREQ(socket_error_text(10048), "TCP/IP Address is already in use");
    EXPECT_STREQ(socket_error_text(10049), "TCP/IP error 10049");
    EXPECT_STREQ(socket_error_text(INT_MIN), "TCP/IP error -2147483648");

    const char* first = socket_error_text(10013);
    const char* second = socket_error_text(10004);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "TCP/IP error 10004");
}

TEST(CheckDigits, OnlyAsciiDigitsPass) {
    EXPECT_EQ(check_digits(""), 0);
    EXPECT_EQ(check_digits("0123456789"), 0);
    for (const char* text : {"12a", "+80", " 80", "/", ":", "\xb0", "\xff"}) {
        EXPECT_EQ(check_digits(text), 1) << '"' << text << '"';
    }
}

TEST(ParsePortOption, AnyNumberOfDigitsModulo65536) {
    const struct {
        const char* value;
        unsigned port;
    } accepted[] = {{"65535", 65535},
                    {"65536", 0},
                    {"123456789012345678901234567890", 2770},
                    {"999999999999999999999999999999", 65535}};
    for (const auto& row : accepted) {
        int status = -1;
        EXPECT_EQ(captured_stdout([&] { status = parse_port_option(row.value); }), "");
        EXPECT_EQ(status, 0);
        EXPECT_EQ(tcp_port, row.port) << row.value;
    }
}

TEST(ParsePortOption, RejectedValuesPrintAndKeepThePort) {
    tcp_port = 4321;
    int status = 0;
    EXPECT_EQ(captured_stdout([&] { status = parse_port_option(""); }),
              "Error: Missing port number\n");
    EXPECT_EQ(status, 1);
    for (const char* value : {"12a", "8\xb0"}) {
        status = 0;
        EXPECT_EQ(captured_stdout([&] { status = parse_port_option(value); }),
                  "Error: Port numbers must be decimal characters\n");
        EXPECT_EQ(status, 1);
    }
    EXPECT_EQ(tcp_port, 4321U);
}

// True when a route leads towards the documentation address the lookup uses.
bool has_default_route() {
    const int probe_fd = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in remote{AF_INET, htons(9), {inet_addr("192.0.2.1")}, {}};
    const bool routed =
        connect(probe_fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0;
    close(probe_fd);
    return routed;
}

TEST(ShowLocalAddress, OneLineWithAnAddressOtherMachinesCanUse) {
    const std::string printed = captured_stdout([] { show_local_address(); });
    EXPECT_TRUE(std::regex_match(printed,
                                 std::regex(R"((Local TCP/IP address: \d{1,3}(\.\d{1,3}){3}\n)?)")))
        << printed;
    if (has_default_route()) {
        // The host name often resolves to 127.0.1.1, which is no use on the other machine.
        EXPECT_FALSE(printed.empty());
        EXPECT_EQ(printed.find("address: 127."), std::string::npos) << printed;
    }
}

}  // namespace
