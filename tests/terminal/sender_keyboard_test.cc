#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "probe_session.h"

namespace {

const std::string blank_line = "\r" + std::string(79, ' ') + "\r";
constexpr std::string_view waiting_line = "\rWaiting for connection [ESC to abort] ... ";

// A loopback port that was free a moment ago.
int free_loopback_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "no free port";
    }
    close(fd);
    return ntohs(address.sin_port);
}

struct waiting_sender {
    probe::terminal_session session;
    std::string directory;

    waiting_sender() {
        std::string pattern = testing::TempDir() + "keyboard_XXXXXX";
        directory = mkdtemp(pattern.data()) != nullptr ? pattern : testing::TempDir();
        std::ofstream(directory + "/data.bin") << "some bytes";
        session = probe::start_program_on_terminal(
            PITCHWIRE_PATH,
            {"-port=" + std::to_string(free_loopback_port()), "-quiet", directory + "/data.bin"});
    }
    ~waiting_sender() {
        probe::close_terminal(session);
        std::remove((directory + "/data.bin").c_str());
        rmdir(directory.c_str());
    }
    waiting_sender(const waiting_sender&) = delete;
    waiting_sender& operator=(const waiting_sender&) = delete;

    std::size_t expect(std::string_view text, std::size_t offset) {
        const std::size_t at = probe::wait_for_text(session, text, offset);
        EXPECT_NE(at, std::string::npos) << "missing " << testing::PrintToString(std::string(text))
                                         << " in " << testing::PrintToString(session.output);
        return at == std::string::npos ? session.output.size() : at + text.size();
    }
};

// A key brings up the question; N goes on waiting with the waiting line printed again, and
// Y ends the program with the notice and status 1.
TEST(SenderKeyboard, AbortWhileWaitingForTheReceiver) {
    waiting_sender sender;
    std::size_t at = sender.expect(waiting_line.substr(1), 0);
    probe::type_keys(sender.session, "x");
    at = sender.expect("Abort [N]: ", at);
    probe::type_keys(sender.session, "n");
    at = sender.expect(blank_line + std::string(waiting_line), at);
    probe::type_keys(sender.session, "\x1b");
    at = sender.expect("Abort [N]: ", at);
    probe::type_keys(sender.session, "Y");
    sender.expect("Y\r\n" + blank_line + "Notice: send was aborted\r\n", at);
    EXPECT_EQ(probe::finish(sender.session), 1);
}

}  // namespace
