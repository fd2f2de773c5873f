#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "receiver_test_support.h"

namespace wiretest {
namespace {

TEST(Transfer, RetriesUntilTheSenderListensThenReceives) {
    const int port = free_port();
    const std::string dir = make_temp_dir();
    run_options options;
    options.working_directory = dir;
    running_program receiver = start_program(
        catchwire_path(), {"-port=" + std::to_string(port), "127.0.0.1", "out"}, options);
    const program_guard guard(receiver);
    EXPECT_TRUE(wait_for_output(receiver, "Connection Refused, Retry 2\r"));
    {
        // The sender closes at once: an empty file and a zero summary.
        const fd_guard listener(listen_loopback(port));
        EXPECT_NE(fd_guard(accept_within(listener.fd)).fd, -1);
    }
    const program_result result = finish_program(receiver);
    EXPECT_NE(without_status_lines(result.out)
                  .find("Error: Could not connect to host - Connection Refused, Retry 1\r"
                        "Error: Could not connect to host - Connection Refused, Retry 2\r"),
              std::string::npos);
    EXPECT_TRUE(without_status_lines(result.out)
                    .ends_with("Received a connection from host 127.0.0.1\n\n"
                               "Successfully received 0 bytes at 0 KBS\n"
                               "TCPIP Data Checksum: 0\n"));
    EXPECT_EQ(file_length(dir + "/out"), 0);
    EXPECT_EQ(result.exit_status, 0);
}

// An interrupt while retrying deletes the new, empty file, as a connection that is not made
// does; at the name prompt it is not the answer "Q": no summary, status 1.
TEST(Transfer, InterruptWhileRetryingOrAtThePromptEndsTheRun) {
    const std::string dir = make_temp_dir();
    run_options options;
    options.working_directory = dir;
    running_program retrying = start_program(
        catchwire_path(), {"-port=" + std::to_string(free_port()), "127.0.0.1", "early"}, options);
    const program_guard guard(retrying);
    EXPECT_TRUE(wait_for_output(retrying, "Retry 1\r"));
    kill(retrying.pid, SIGINT);
    const program_result early = finish_program(retrying);
    EXPECT_TRUE(early.out.ends_with("\nAborting connection ... \n")) << early.out;
    EXPECT_EQ(early.exit_status, 1);
    EXPECT_EQ(file_length(dir + "/early"), -1) << "a file no connection filled stays behind";

    run_options input;
    input.stdin_open = true;
    receiver_run prompting({"-autosize=1", "ONE"}, input);
    prompting.send(random_bytes(1048576 + 1));
    prompting.end_stream();
    EXPECT_TRUE(wait_for_output(prompting.receiver, "Enter new filename [Q]: "));
    // An interrupt that lands after the prompt is printed but before the read has begun is
    // noticed only with the next one, so it is repeated until the run ends.
    EXPECT_TRUE(wait_until([&] {
        kill(prompting.receiver.pid, SIGINT);
        return wait_for_output(prompting.receiver, "Aborting connection", 200);
    }));
    const program_result asked = finish_program(prompting.receiver);
    EXPECT_TRUE(asked.out.ends_with("[Q]: \nAborting connection ... \n")) << asked.out;
    EXPECT_EQ(asked.exit_status, 1);
    EXPECT_EQ(prompting.size("ONE"), 1048576);
}

// A receive waits for a whole buffer, but never holds a short tail back while the sender is
// silent, and a silence longer than that wait is no error.
TEST(Transfer, BytesBeforeASilenceAreCountedWhileItLasts) {
    receiver_run run({"out"});
    run.send(std::string(100, 'a'));
    // The progress line comes between receives once a second has passed, so a byte sent
    // after one brings it up, and it must show both pieces before the stream goes on. The
    // pause is two seconds so that a receiver slow to take the first piece still sees the
    // clock move on by the time the byte comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    run.send("b");
    EXPECT_TRUE(wait_for_output(run.receiver, "Recv: Total Bytes Received: 101 KBS: "));
    run.send(std::string(32768, 'c'));
    const program_result result = run.finish();
    EXPECT_NE(result.out.find("\nSuccessfully received 32,869 bytes at "), std::string::npos);
    EXPECT_TRUE(result.out.ends_with(" KBS\nTCPIP Data Checksum: 31a646\n")) << result.out;
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(run.file("out"), std::string(100, 'a') + "b" + std::string(32768, 'c'));
}

TEST(Transfer, HostNameIsLookedUp) {
    receiver_run run({"out"}, {}, "localhost");
    run.send("abc");
    const program_result result = run.finish();
    EXPECT_NE(result.out.find("Received a connection from host localhost\n"), std::string::npos);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(run.file("out"), "abc");
}

// With its standard output as the file, the data goes there alone and every message to
// standard error.
TEST(Transfer, StandardOutputAsTheFileCarriesOnlyTheData) {
    const std::string bytes = random_bytes(100000, 9);
    for (const std::string name : {"/dev/stdout", "/proc/self/fd/1"}) {
        receiver_run run({name});
        run.send(bytes);
        const program_result result = run.finish();
        EXPECT_EQ(result.exit_status, 0) << name;
        EXPECT_TRUE(result.out == bytes) << name << ": " << result.out.size() << " bytes";
        EXPECT_NE(result.err.find("Received a connection from host 127.0.0.1\n"), std::string::npos)
            << name << ": " << result.err;
        EXPECT_NE(result.err.find("\nSuccessfully received 100,000 bytes at "), std::string::npos)
            << name << ": " << result.err;
        EXPECT_TRUE(
            result.err.ends_with(" KBS\nTCPIP Data Checksum: " + checksum_hex(bytes) + "\n"))
            << name << ": " << result.err;
    }
}

TEST(Transfer, FailureNeverDeletesWhatIsNotARegularFile) {
    const std::string fifo = make_temp_dir() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Port 0 is refused at once: the run ends as a failed connection does.
    const program_result result = run_program(catchwire_path(), {"-port=0", "127.0.0.1", fifo});
    EXPECT_EQ(result.exit_status, 1);
    struct stat status {};
    EXPECT_EQ(stat(fifo.c_str(), &status), 0);
}

TEST(Transfer, WriteFailureShowsItsCauseAndDeletesTheFile) {
    run_options limited;
    limited.file_size_limit = 100000;
    receiver_run run({"out"}, limited);
    run.send(random_bytes(1048576));
    const program_result result = run.finish();
    EXPECT_TRUE(result.out.ends_with("\n\nError: Could not write to file: File too large\n"))
        << result.out;
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(run.size("out"), -1);
}

}  // namespace
}  // namespace wiretest
