#include "runner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>

namespace wt {
namespace {

std::string byte_sum_hex(std::string_view bytes) {
    std::ostringstream hex;
    hex << std::hex
        << std::accumulate(bytes.begin(), bytes.end(), std::uint32_t{0}, [](auto sum, char byte) {
               return sum + static_cast<unsigned char>(byte);
           });
    return hex.str();
}

std::string sha256_hex(const std::string& bytes) {
    process digest;
    start(digest, "/usr/bin/sha256sum", {}, {.input = bytes});
    finish(digest);
    return digest.out.substr(0, 64);
}

// What follows the last marker on its line.
std::string text_after(std::string_view text, std::string_view marker) {
    const std::size_t at = text.rfind(marker);
    const std::string_view rest = text.substr(at == text.npos ? text.size() : at + marker.size());
    return std::string(rest.substr(0, rest.find_first_of("\r\n")));
}

long long count_after(std::string_view text, std::string_view marker) {
    std::string digits = text_after(text, marker);
    digits = digits.substr(0, digits.find_first_not_of("0123456789,"));
    std::erase(digits, ',');
    return digits.empty() ? -1 : std::stoll(digits);
}

// The counting pattern: value k as a little-endian 32-bit number at bytes 4k to 4k+3.
std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t at = 0; at < length; ++at) {
        bytes[at] = static_cast<char>(static_cast<std::uint32_t>(at / 4) >> (8 * (at % 4)));
    }
    return bytes;
}

// Shell lines find ip, losetup and the like where root's would.
const std::string sbin_path = "PATH=/usr/sbin:/sbin:$PATH; ";

// The output without the blanked status lines and the progress lines, whose places depend
// on the timing.
std::string plain(const std::string& text) {
    static const std::regex status_lines("\r {79}\r|(Recv: Total|Send: Offset)[^\r\n]*\r");
    return std::regex_replace(text, status_lines, "");
}

class program_run : public testing::TestWithParam<row> {
   protected:
    const row& r = GetParam();
    std::string dir = temp_dir();
    int port = free_port();
    std::map<std::string, std::string> words;
    std::map<char, process> programs;
    std::map<char, std::size_t> cursor;  // where the next wait for a program's text begins
    int listen_fd = -1;
    int peer_fd = -1;
    std::string sent;
    std::string seen;

    void TearDown() override {
        close_fd(listen_fd);
        close_fd(peer_fd);
        if (!r.teardown.empty()) {
            shell(r.teardown);
        }
        std::filesystem::remove_all(dir);
    }

    std::string fill(std::string text) {
        for (const auto& [key, value] : words) {
            for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos;) {
                text.replace(at, key.size(), value);
                at += value.size();
            }
        }
        return text;
    }

    int shell(const std::string& command) {
        process run;
        start(run, "/bin/sh", {"-c", sbin_path + fill(command)}, {.dir = dir});
        finish(run, 60000);
        EXPECT_TRUE(run.status == 0 || run.status == 77) << command << ": " << run.out << run.err;
        return run.status;
    }

    void start_program(process& p, who on, std::vector<std::string> args) {
        std::string path = on == S ? PITCHWIRE_PATH : CATCHWIRE_PATH;
        if (!r.wrap.empty()) {
            args.insert(args.begin(), {"-c", sbin_path + r.wrap, std::string(1, on), path});
            path = "/bin/sh";
        }
        for (std::string& arg : args) {
            arg = fill(arg);
        }
        start_options options = r.run;
        options.dir = dir;
        start(p, path, args, options);
        cursor[on] = 0;
    }

    void play(const step& s) {
        static process nobody;  // what the peer's steps are for
        process& p = s.on == P ? nobody : programs[s.on];
        const std::string text = fill(s.text);
        const int n = static_cast<int>(s.n);
        const auto until = [&](auto holds) {
            for (int tries = 0; tries < 750 && !holds(); ++tries) {
                usleep(20000);
            }
            return holds();
        };
        switch (s.what) {
            case act::start:
                return start_program(programs[s.on], s.on, s.on == S ? r.sender : r.receiver);
            case act::wait: {
                const std::size_t at = wait_for(p, text, cursor[s.on], 15000);
                ASSERT_NE(at, std::string::npos) << "no " << testing::PrintToString(text) << " in "
                                                 << testing::PrintToString(p.out + p.err);
                cursor[s.on] = at;
                return;
            }
            case act::quiet:
                EXPECT_EQ(wait_for(p, text, cursor[s.on], n), std::string::npos) << p.out;
                return;
            case act::keys:
                return write_all(p.input_fd, text);
            case act::signal:  // again every 200 ms until the text appears
                for (int tries = 0; tries < 50; ++tries) {
                    kill(p.pid, n);
                    if (text.empty() || wait_for(p, text, 0, 200) != std::string::npos) {
                        break;
                    }
                }
                return;
            case act::finish:
                finish(p);
                EXPECT_EQ(p.status, s.on == S ? r.sender_status : r.receiver_status) << p.out;
                return;
            case act::flag:
                EXPECT_TRUE(until([&] {
                    return ((terminal_mode(p).c_lflag & static_cast<tcflag_t>(n)) != 0) ==
                           (text == "1");
                })) << "terminal flag "
                    << n;
                return;
            case act::idle:
                EXPECT_LT(processor_share(p), 0.5) << "the program spins while it waits";
                return;
            case act::listen:
                listen_fd = tcp_socket(port, true);
                ASSERT_GE(listen_fd, 0);
                return;
            case act::accept:
                peer_fd = accept_from(listen_fd, 15000);
                ASSERT_GE(peer_fd, 0) << "the receiver never connected: " << programs[R].out;
                return;
            case act::connect:
                close_fd(peer_fd);
                seen.clear();
                peer_fd = connect_to(port, 15000, n);
                ASSERT_GE(peer_fd, 0) << "the sender never listened: " << programs[S].out;
                return;
            case act::read:
                return receive(peer_fd, seen, n == 0 ? SIZE_MAX : static_cast<std::size_t>(n));
            case act::send: {
                const std::string bytes = n > 0 ? random_bytes(n, 7 + sent.size()) : text;
                sent += bytes;
                return write_all(peer_fd, bytes);
            }
            case act::close:
                return close_fd(peer_fd, n == 1);
            case act::shell:
                ASSERT_EQ(shell(s.text), 0);
                return;
            case act::size:
                ASSERT_TRUE(until([&] { return file_size(dir + "/" + text) >= s.n; })) << text;
                return;
        }
    }

    // Starts the programs, the sender first. A receiver alone whose first step is the peer's
    // is fed by the peer, which listens before it starts.
    void start_all() {
        const bool fed = r.sender.empty() && !r.steps.empty() && r.steps[0].on == P;
        if (fed) {
            play(peer(act::listen));
        }
        if (!r.sender.empty()) {
            play(start(S));
        }
        if (!r.sender.empty() && !r.receiver.empty()) {
            ASSERT_NE(wait_for(programs[S], "Waiting for connection", 0, 15000), std::string::npos)
                << programs[S].out;
        }
        if (!r.receiver.empty()) {
            play(start(R));
        }
        if (fed) {
            play(peer(act::accept));
        }
    }

    void make_files() {
        for (const file_spec& f : r.files) {
            const std::string path = dir + "/" + f.name;
            if (f.size >= 0) {
                std::ofstream(path)
                    << random_bytes(f.size > 64 * mib ? mib : f.size, f.size + f.name.size());
            }
            ASSERT_EQ(f.size < 0 ? mkfifo(path.c_str(), 0600) : truncate(path.c_str(), f.size), 0);
        }
    }

    // The expected stream: for a partial row only as much as any count, piece or peer saw.
    std::string expected_stream() {
        if (r.stream.empty()) {
            return sent;
        }
        std::size_t longest = seen.size();
        for (const auto& [on, p] : programs) {
            for (const char* marker : {"Successfully sent ", "Successfully received "}) {
                longest = std::max<long long>(longest, count_after(p.out + p.err, marker));
            }
        }
        for (const std::string& piece : r.pieces) {
            longest = std::max<long long>(longest,
                                          file_size(dir + "/" + piece.substr(0, piece.find('='))));
        }
        std::string stream;
        for (const std::string& name : r.stream) {
            const std::size_t left =
                r.partial ? longest - std::min(longest, stream.size()) : SIZE_MAX;
            if (name == "-" || name == "0") {
                stream += name == "-" ? pattern(longest) : std::string(longest, '\0');
            } else {
                stream += read_file(dir + "/" + name, left);
            }
        }
        return stream;
    }

    // The sender's count also answers for what the peer read.
    void check_count(const std::string& stream, const std::string& text, bool sender) {
        const long long count =
            count_after(text, sender ? "Successfully sent " : "Successfully received ");
        if (count < 0) {
            return;
        }
        ASSERT_LE(count, static_cast<long long>(stream.size())) << text;
        // An abort's closing line takes the checksum's place.
        const std::string sum = text_after(text, "TCPIP Data Checksum: ");
        EXPECT_TRUE(sum == byte_sum_hex(std::string_view(stream).substr(0, count)) ||
                    (sum.empty() && text.find("Aborting connection ... \n") != std::string::npos))
            << "the checksum is not that of the bytes counted";
        EXPECT_TRUE(r.partial || count == static_cast<long long>(stream.size())) << text;
        if (sender && r.counts_what_peer_read) {
            EXPECT_EQ(count, static_cast<long long>(seen.size()));
        }
        if (sender && r.whole_blocks > 0) {
            EXPECT_EQ(count % r.whole_blocks, 0);
            EXPECT_LT(seen.size(), static_cast<std::size_t>(count + r.whole_blocks));
        }
    }

    void check_files(const std::string& stream) {
        std::set<std::string> allowed(r.extra.begin(), r.extra.end());
        for (const file_spec& f : r.files) {
            allowed.insert(f.name);
        }
        std::string joined;
        for (const std::string& piece : r.pieces) {
            const std::string name = piece.substr(0, piece.find('='));
            const std::string bytes = read_file(dir + "/" + name);
            const long long size = file_size(dir + "/" + name);
            allowed.insert(name);
            EXPECT_TRUE(size >= 0 &&
                        (name == piece || piece.substr(name.size() + 1) == std::to_string(size)))
                << name << " holds " << size << " bytes";
            words["{sha:" + name + "}"] = sha256_hex(bytes);
            joined += bytes;
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            EXPECT_EQ(allowed.count(entry.path().filename()), 1U)
                << "left behind: " << entry.path();
        }
        EXPECT_TRUE(r.pieces.empty() || (r.partial ? stream.starts_with(joined) : joined == stream))
            << "the pieces hold " << joined.size() << " of " << stream.size() << " bytes";
    }

    void check_outputs() {
        for (const auto& [list, present] :
             {std::pair{&r.output, true}, std::pair{&r.never, false}}) {
            std::map<char, std::size_t> from;
            for (const says& line : *list) {
                const std::string text = plain(programs[line.on].out + programs[line.on].err);
                const std::size_t found = text.find(fill(line.text), present ? from[line.on] : 0);
                EXPECT_EQ(found != std::string::npos, present)
                    << static_cast<char>(line.on) << (present ? " lacks " : " prints ")
                    << testing::PrintToString(fill(line.text)) << " in "
                    << testing::PrintToString(text);
                from[line.on] =
                    found == std::string::npos ? from[line.on] : found + line.text.size();
            }
        }
    }

    // For this and every same command line: the exit status (0 or 1 for any), nothing on
    // standard error, and the exact output if the row gives one.
    void check_command_lines(who on, process& p) {
        static const std::regex address("Local TCP/IP address: [^\n]*\n");
        const int status = on == S ? r.sender_status : r.receiver_status;
        for (std::size_t index = 0; index <= r.same.size(); ++index) {
            process other;
            if (index > 0) {
                start_program(other, on, r.same[index - 1]);
                finish(other, 20000);
            }
            const process& run = index == 0 ? p : other;
            const std::string line =
                testing::PrintToString(index == 0 ? std::vector<std::string>{} : r.same[index - 1]);
            EXPECT_TRUE(status == any_status ? run.status == 0 || run.status == 1
                                             : run.status == status)
                << line << " ended with " << run.status;
            EXPECT_EQ(run.err, "") << line;
            EXPECT_TRUE(r.out.empty() || std::regex_replace(run.out, address, "") == fill(r.out))
                << line << " printed " << testing::PrintToString(run.out);
        }
    }

    void check() {
        for (auto& [on, p] : programs) {
            const int status = on == S ? r.sender_status : r.receiver_status;
            EXPECT_TRUE(status == any_status || p.status == status)
                << static_cast<char>(on) << " ended with " << p.status << ": " << p.out << p.err;
        }
        process& alone = programs.begin()->second;
        if (!r.out.empty() || !r.same.empty()) {
            check_command_lines(static_cast<who>(programs.begin()->first), alone);
        }
        const std::string stream = expected_stream();
        for (auto& [on, p] : programs) {
            check_count(stream, on == R && r.data_on_stdout ? p.err : p.out + p.err, on == S);
        }
        EXPECT_TRUE(!r.receiver.empty() || (r.partial ? stream.starts_with(seen) : seen == stream))
            << "the peer read " << seen.size() << " bytes of " << stream.size();
        EXPECT_TRUE(!r.data_on_stdout || programs[R].out == stream)
            << "standard output is not the stream";
        check_files(stream);
        check_outputs();
        if (r.run.terminal) {
            EXPECT_EQ(terminal_mode(alone).c_lflag, alone.initial_mode.c_lflag)
                << "the terminal mode stays changed";
            EXPECT_EQ(terminal_mode(alone).c_iflag, alone.initial_mode.c_iflag);
        }
    }
};

TEST_P(program_run, holds) {
    words = {{"{dir}", dir}, {"{port}", std::to_string(port)}};
    ASSERT_NO_FATAL_FAILURE(make_files());
    if (!r.setup.empty() && shell(r.setup) != 0) {
        GTEST_SKIP() << "cannot set up: " << r.setup;
    }
    if (std::count(r.sender.begin(), r.sender.end(), "-sha256") != 0) {
        words["{sha}"] = words["{SHA}"] = sha256_hex(expected_stream());
        std::transform(words["{sha}"].begin(), words["{sha}"].end(), words["{SHA}"].begin(),
                       ::toupper);
    }
    if (std::none_of(r.steps.begin(), r.steps.end(),
                     [](const step& s) { return s.what == act::start; })) {
        ASSERT_NO_FATAL_FAILURE(start_all());
    }
    for (const step& s : r.steps) {
        ASSERT_NO_FATAL_FAILURE(play(s));
    }
    if (r.receiver.empty()) {  // the peer stands in for the receiver
        receive(peer_fd, seen);
    }
    close_fd(peer_fd);
    for (auto& [on, p] : programs) {
        finish(p, 60000);
        if (p.status == 77 && !r.wrap.empty()) {
            GTEST_SKIP() << p.out << p.err;
        }
    }
    check();
}

const auto row_name = [](const testing::TestParamInfo<row>& info) { return info.param.name; };

INSTANTIATE_TEST_SUITE_P(sender, program_run, testing::ValuesIn(sender_rows()), row_name);
INSTANTIATE_TEST_SUITE_P(receiver, program_run, testing::ValuesIn(receiver_rows()), row_name);
INSTANTIATE_TEST_SUITE_P(pair, program_run, testing::ValuesIn(pair_rows()), row_name);
INSTANTIATE_TEST_SUITE_P(terminal, program_run, testing::ValuesIn(terminal_rows()), row_name);

}  // namespace

void PrintTo(const row& r, std::ostream* out) {
    *out << r.name;
}

}  // namespace wt
