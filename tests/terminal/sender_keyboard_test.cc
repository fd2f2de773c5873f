#include <gtest/gtest.h>
#include <termios.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "loopback_peer.h"
#include "printed_text.h"
#include "probe_session.h"
#include "program_runner.h"

namespace {

// A key brings up the question; N goes on waiting with the waiting line printed again, and
// Y ends the program with the notice and status 1.
TEST(SenderKeyboard, AbortWhileWaitingForTheReceiver) {
    const std::string file = wiretest::write_file(wiretest::make_temp_dir() + "/data", "bytes");
    const std::string waiting = "\rWaiting for connection [ESC to abort] ... ";
    terminal_session sender(wiretest::pitchwire_path(),
                            {"-port=" + std::to_string(wiretest::free_port()), "-quiet", file});
    std::size_t at = sender.expect(waiting.substr(1));
    sender.type("x");
    at = sender.expect("Abort [N]: ", at);
    sender.type("n");
    at = sender.expect(blank_line + waiting, at);
    sender.type("\x1b");
    at = sender.expect("Abort [N]: ", at);
    sender.type("Y");
    sender.expect("Y\r\n" + blank_line + "Notice: send was aborted\r\n", at);
    EXPECT_EQ(sender.finish(), 1);
}

// A hang-up still ends the program at once, as the signal's default does, but the terminal
// gets its echo and line editing back first.
TEST(SenderKeyboard, HangUpSignalPutsTheTerminalModeBack) {
    const std::string file = wiretest::write_file(wiretest::make_temp_dir() + "/data", "bytes");
    terminal_session sender(wiretest::pitchwire_path(),
                            {"-port=" + std::to_string(wiretest::free_port()), "-quiet", file});
    sender.expect("Waiting for connection");
    sender.wait_for_flag(ICANON, false);
    kill(sender.pid, SIGHUP);
    EXPECT_EQ(sender.finish(), shell_signal_status + SIGHUP);
    EXPECT_EQ(sender.mode().c_lflag, sender.initial_mode.c_lflag);
    EXPECT_EQ(sender.mode().c_iflag, sender.initial_mode.c_iflag);
}

// In generated mode the first Y raises the question and the second answers it: the notice,
// the totals and the checksum of what was sent, and status 0.
TEST(SenderKeyboard, TwoYPressesEndGeneratedMode) {
    const int port = wiretest::free_port();
    terminal_session sender(wiretest::pitchwire_path(), {"-port=" + std::to_string(port), "-"});
    sender.expect("Waiting for connection");
    const wiretest::fd_guard receiver(wiretest::connect_within(port));
    ASSERT_GE(receiver.fd, 0);
    // Data arriving shows the wait is over, so the keys reach the sending loop.
    wiretest::byte_tally tally;
    ASSERT_TRUE(wiretest::read_into(receiver.fd, tally, 65536));
    std::thread reader([&] { wiretest::read_into(receiver.fd, tally); });
    sender.type("Y");
    const std::size_t at = sender.expect("Abort [N]: ");
    sender.type("Y");
    sender.expect("Y\r\n" + blank_line + "Notice: send was aborted\r\n", at);
    EXPECT_EQ(sender.finish(), 0);
    reader.join();
    EXPECT_EQ(wiretest::count_after(sender.output, "Successfully sent "), tally.count);
    EXPECT_EQ(wiretest::text_after(sender.output, "TCPIP Data Checksum: "),
              wiretest::hex32(tally.checksum) + "\r");
}

}  // namespace
