#include "runner.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "harness.h"

namespace wt {

const std::map<char, std::string> usage_texts = {
    {S,
     "\nUsage: send [options] file1 [file2] [filen]\n"
     "       -           : No files, send random data\n"
     "       -config     : Display TCP/IP configuration\n"
     "       -help       : Display command help\n"
     "       -pause      : Pause before each file to insert new media\n"
     "       -port       : Set TCP/IP Port Number\n"
     "       -readsize=n : Set disk read buffer size to n bytes\n"
     "       -sendsize=n : Set send buffer size to n bytes\n"
     "       -sha256     : Print the SHA-256 of the stream\n"},
    {R,
     "\nUsage: recv [options] <ip_addr> <filename>\n"
     "       -           : No files, recv random data\n"
     "       -config     : Display TCP/IP configuration\n"
     "       -help       : Display command help\n"
     "       -autosize=n : Limit created files to n MB\n"
     "       -autoname   : Automatically name image files\n"
     "       -port       : Set TCP/IP Port Number\n"
     "       -sha256     : Print the SHA-256 of the stream and of each piece\n"
     "       -sha256=hex : Check the stream against the SHA-256 hex\n"}};
const std::map<char, std::string> quiet_banners = {
    {S, "\nTCP/IP Data Transfer Utility for Win32 WINSOCK\nVersion 1.34 Sep 13 1999\n\n"},
    {R, "\nTCP/IP Data Transfer Utility\nVersion 1.34 Sep 13 1999\n\n"}};

namespace {

std::string path_of(who on) {
    return on == S ? PITCHWIRE_PATH : CATCHWIRE_PATH;
}

// The full banner: what the bare call prints before its usage text, the quiet banner last.
std::string banner_of(who on) {
    static std::map<char, std::string> banners;
    if (banners.count(on) == 0) {
        process bare;
        start(bare, path_of(on), {}, {});
        finish(bare);
        const std::string& usage = usage_texts.at(on);
        const bool whole = bare.out.ends_with(usage) &&
                           bare.out.substr(0, bare.out.size() - usage.size()).ends_with(quiet_banners.at(on));
        banners[on] = whole ? bare.out.substr(0, bare.out.size() - usage.size()) : "(no banner)";
    }
    return banners[on];
}

std::string sha256_hex(const std::string& bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int index = 0; index < length; ++index) {
        hex += "0123456789abcdef"[digest[index] >> 4];
        hex += "0123456789abcdef"[digest[index] & 15];
    }
    return hex;
}

// The counting pattern: value k as a little-endian 32-bit number at bytes 4k to 4k+3.
std::string pattern(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t offset = 0; offset < length; ++offset) {
        bytes[offset] = static_cast<char>(static_cast<std::uint32_t>(offset / 4) >> (8 * (offset % 4)));
    }
    return bytes;
}

class program_run : public testing::TestWithParam<row> {
   protected:
    const row& r = GetParam();
    std::string dir = temp_dir();
    int port = free_port();
    std::map<std::string, std::string> words;
    process programs[2];
    bool ran[2] = {false, false};
    std::size_t cursor[2] = {0, 0};  // where the next wait for a program's text begins
    bool killed[2] = {false, false};
    int listen_fd = -1;
    int peer_fd = -1;
    bool peer_is_client = false;
    std::string sent;
    std::string seen;

    ~program_run() override {
        close_fd(listen_fd);
        close_fd(peer_fd);
        if (!r.teardown.empty()) {
            shell(r.teardown);
        }
    }

    process& program(who on) {
        return programs[on == S ? 0 : 1];
    }

    int index_of(who on) {
        return on == S ? 0 : 1;
    }

    std::string fill(std::string text) {
        for (const auto& [key, value] : words) {
            for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += value.size()) {
                text.replace(at, key.size(), value);
            }
        }
        return text;
    }

    int shell(const std::string& command) {
        process run;
        start(run, "/bin/sh", {"-c", "PATH=/usr/sbin:/sbin:$PATH; " + fill(command)}, {.dir = dir});
        finish(run, 60000);
        EXPECT_TRUE(run.status == 0 || run.status == 77) << command << ": " << run.out << run.err;
        return run.status;
    }

    void start_program(who on) {
        std::vector<std::string> args = on == S ? r.sender : r.receiver;
        for (std::string& arg : args) {
            arg = fill(arg);
        }
        std::string path = path_of(on);
        if (!r.wrap.empty()) {
            args.insert(args.begin(), {"-c", "PATH=/usr/sbin:/sbin:$PATH; " + fill(r.wrap), std::string(1, on), path});
            path = "/bin/sh";
        }
        start(program(on), path, args,
              {.dir = dir, .input = r.input, .keep_input = r.keep_input, .terminal = r.terminal,
               .background = r.background, .file_size_limit = r.file_size_limit,
               .open_files_limit = r.open_files_limit, .environment = r.environment});
        ran[index_of(on)] = true;
        cursor[index_of(on)] = 0;
    }

    void play(const step& s) {
        process& p = program(s.on);
        const std::string text = fill(s.text);
        switch (s.what) {
            case act::start:
                start_program(s.on);
                break;
            case act::wait: {
                const std::size_t at = wait_for(p, text, s.n == 2 ? 0 : cursor[index_of(s.on)], 15000, s.n == 2);
                ASSERT_NE(at, std::string::npos)
                    << "no " << testing::PrintToString(text) << " in " << testing::PrintToString(p.out + p.err);
                cursor[index_of(s.on)] = s.n == 2 ? cursor[index_of(s.on)] : at;
                break;
            }
            case act::quiet:
                EXPECT_EQ(wait_for(p, text, cursor[index_of(s.on)], static_cast<int>(s.n)), std::string::npos) << p.out;
                break;
            case act::keys:
                type(p, text);
                break;
            case act::end_input:
                end_input(p);
                break;
            case act::signal:
                killed[index_of(s.on)] = s.n == SIGKILL;
                kill(p.pid, static_cast<int>(s.n));
                break;
            case act::signal_until:
                for (int tries = 0; tries < 50 && p.out.find(text) == std::string::npos; ++tries) {
                    kill(p.pid, static_cast<int>(s.n));
                    wait_for(p, text, 0, 200);
                }
                break;
            case act::finish:
                finish(p);
                EXPECT_EQ(p.status, s.on == S ? r.sender_status : r.receiver_status) << p.out;
                break;
            case act::flag: {
                bool holds = false;
                for (int tries = 0; tries < 250 && !holds; ++tries, usleep(20000)) {
                    holds = ((terminal_mode(p).c_lflag & static_cast<tcflag_t>(s.n)) != 0) == (text == "1");
                }
                EXPECT_TRUE(holds) << "terminal flag " << s.n;
                break;
            }
            case act::idle:
                EXPECT_LT(processor_share(p), 0.5) << "the program spins while it waits";
                break;
            case act::listen:
                listen_fd = listen_on(port);
                ASSERT_GE(listen_fd, 0);
                break;
            case act::accept:
                peer_fd = accept_from(listen_fd, 15000);
                ASSERT_GE(peer_fd, 0) << "the receiver never connected";
                break;
            case act::connect:
                close_fd(peer_fd);
                seen.clear();
                peer_is_client = true;
                peer_fd = connect_to(port, 15000, static_cast<int>(s.n));
                ASSERT_GE(peer_fd, 0) << "the sender never listened: " << program(S).out;
                break;
            case act::refused: {
                int second = connect_to(port, 0);
                EXPECT_EQ(second, -1) << "a second receiver was let in";
                close_fd(second);
                break;
            }
            case act::read:
                receive(peer_fd, seen, s.n == 0 ? SIZE_MAX : static_cast<std::size_t>(s.n));
                break;
            case act::send: {
                const std::string bytes = s.n > 0 ? random_bytes(static_cast<std::size_t>(s.n), 7 + sent.size()) : text;
                sent += bytes;
                send_bytes(peer_fd, bytes);
                break;
            }
            case act::close:
                close_fd(peer_fd, s.n == 1);
                break;
            case act::shell:
                ASSERT_EQ(shell(s.text), 0);
                break;
            case act::sleep:
                usleep(static_cast<useconds_t>(s.n * 1000));
                break;
            case act::size:
                for (int tries = 0; tries < 1500 && file_size(dir + "/" + text) < s.n; ++tries) {
                    usleep(20000);
                }
                ASSERT_GE(file_size(dir + "/" + text), s.n) << text;
                break;
        }
    }

    void make_files() {
        for (const file_spec& f : r.files) {
            const std::string path = dir + "/" + f.name;
            if (f.fifo) {
                ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
                continue;
            }
            write_file(path, random_bytes(static_cast<std::size_t>(f.sparse ? mib : f.size),
                                          static_cast<unsigned>(f.size + f.name.size())));
            ASSERT_EQ(truncate(path.c_str(), f.size), 0);
        }
    }

    // The expected stream, at least long enough for every count in the outputs.
    std::string expected_stream() {
        if (r.stream.empty()) {
            return sent;
        }
        std::size_t longest = seen.size();
        for (const process& p : programs) {
            longest = std::max<std::size_t>(longest, static_cast<std::size_t>(std::max(
                std::max(count_after(p.out + p.err, "Successfully sent "), count_after(p.out + p.err, "Successfully received ")), 0LL)));
        }
        for (const std::string& piece : r.pieces) {
            longest = std::max<std::size_t>(longest, static_cast<std::size_t>(std::max(file_size(dir + "/" + piece.substr(0, piece.find('='))), 0LL)));
        }
        std::string stream;
        for (const std::string& name : r.stream) {
            if (name == "-" || name == "0") {
                stream += name == "-" ? pattern(longest) : std::string(longest, '\0');
            } else if (!r.partial) {
                stream += read_file(dir + "/" + name);
            } else if (stream.size() < longest) {
                // A beginning is enough, and a whole sparse file of gibibytes too much.
                std::ifstream file(dir + "/" + name, std::ios::binary);
                std::string part(longest - stream.size(), '\0');
                file.read(part.data(), static_cast<std::streamsize>(part.size()));
                stream.append(part.data(), static_cast<std::size_t>(file.gcount()));
            }
        }
        return stream;
    }

    void check_count(const std::string& stream, const std::string& text, const char* marker) {
        const long long count = count_after(text, marker);
        if (count < 0) {
            return;
        }
        ASSERT_LE(count, static_cast<long long>(stream.size())) << text;
        // An abort's closing line takes the checksum's place.
        const std::string sum = text_after(text, "TCPIP Data Checksum: ");
        EXPECT_TRUE(sum == byte_sum_hex(std::string_view(stream).substr(0, static_cast<std::size_t>(count))) ||
                    (sum.empty() && text.find("Aborting connection ... \n") != std::string::npos))
            << "the checksum is not that of the bytes counted";
        EXPECT_TRUE(r.partial || count == static_cast<long long>(stream.size())) << text;
        if (marker[13] == 's' && r.counts_what_peer_read) {
            EXPECT_EQ(count, static_cast<long long>(seen.size()));
        }
        if (marker[13] == 's' && r.whole_blocks > 0) {
            EXPECT_EQ(count % r.whole_blocks, 0);
            EXPECT_LT(seen.size(), static_cast<std::size_t>(count + r.whole_blocks));
        }
    }

    // The output without the blanked status lines and the progress lines, which come and go
    // with the timing.
    static std::string plain(std::string text) {
        static const std::regex status_lines("\r {79}\r|(Recv: Total|Send: Offset)[^\r\n]*\r");
        return std::regex_replace(text, status_lines, "");
    }

    void check_outputs() {
        for (const auto& [list, present] : {std::pair{&r.output, true}, std::pair{&r.never, false}}) {
            std::size_t from[2] = {0, 0};
            for (const says& line : *list) {
                const process& p = program(line.on);
                const std::string text = plain(p.out + p.err);
                std::size_t& at = from[line.on == S ? 0 : 1];
                const std::size_t found = text.find(fill(line.text), present ? at : 0);
                EXPECT_EQ(found != std::string::npos, present)
                    << static_cast<char>(line.on) << (present ? " lacks " : " prints ")
                    << testing::PrintToString(fill(line.text)) << " in " << testing::PrintToString(text);
                at = found == std::string::npos ? at : found + line.text.size();
            }
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
            allowed.insert(name);
            const std::string bytes = read_file(dir + "/" + name);
            EXPECT_GE(file_size(dir + "/" + name), 0) << "missing " << name;
            EXPECT_TRUE(name == piece || piece.substr(name.size() + 1) == std::to_string(bytes.size()))
                << name << " holds " << bytes.size() << " bytes";
            words["{sha:" + name + "}"] = sha256_hex(bytes);
            joined += bytes;
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            EXPECT_EQ(allowed.count(entry.path().filename().string()), 1U) << "left behind: " << entry.path();
        }
        if (!r.pieces.empty()) {
            EXPECT_TRUE(r.partial ? stream.starts_with(joined) : joined == stream)
                << "the pieces hold " << joined.size() << " of " << stream.size() << " bytes";
        }
    }

    void run() {
        words = {{"{dir}", dir}, {"{port}", std::to_string(port)}};
        for (const who on : {S, R}) {
            words["{banner" + std::string(1, on) + "}"] = banner_of(on);
            words["{quiet" + std::string(1, on) + "}"] = quiet_banners.at(on);
            words["{usage" + std::string(1, on) + "}"] = usage_texts.at(on);
        }
        make_files();
        if (!r.setup.empty() && shell(r.setup) != 0) {
            GTEST_SKIP() << "cannot set up: " << r.setup;
        }
        std::string digest_of;
        for (const std::string& name : r.stream) {
            // Only the digest rows need it, and their streams are small.
            const bool named = r.sender.size() > 1 && r.sender[1] == "-sha256";
            digest_of += !named || name == "-" || name == "0" ? "" : read_file(dir + "/" + name);
        }
        words["{sha}"] = sha256_hex(digest_of);
        words["{SHA}"] = words["{sha}"];
        for (char& c : words["{SHA}"]) {
            c = static_cast<char>(std::toupper(c));
        }

        const bool explicit_start = std::any_of(r.steps.begin(), r.steps.end(), [](const step& s) { return s.what == act::start; });
        const bool peer_steps = std::any_of(r.steps.begin(), r.steps.end(), [](const step& s) { return s.on == P && s.what != act::shell && s.what != act::sleep && s.what != act::size; });
        if (!explicit_start) {
            if (r.sender.empty() && peer_steps) {
                play(peer(act::listen));
            }
            if (!r.sender.empty() || r.bare == S) {
                start_program(S);
            }
            if (!r.sender.empty() && !r.receiver.empty()) {
                ASSERT_NE(wait_for(program(S), "Waiting for connection", 0, 15000), std::string::npos) << program(S).out;
            }
            if (!r.receiver.empty() || r.bare == R) {
                start_program(R);
            }
            const bool explicit_connect = std::any_of(r.steps.begin(), r.steps.end(), [](const step& s) { return s.what == act::connect; });
            if (peer_steps && !explicit_connect) {
                play(r.sender.empty() ? peer(act::accept) : peer(act::connect));
            }
        }
        for (const step& s : r.steps) {
            ASSERT_NO_FATAL_FAILURE(play(s));
        }
        if (peer_is_client) {
            receive(peer_fd, seen);
        }
        close_fd(peer_fd);
        for (int index = 0; index < 2; ++index) {
            if (ran[index]) {
                finish(programs[index], 60000);
                if (programs[index].status == 77 && !r.wrap.empty()) {
                    GTEST_SKIP() << programs[index].out << programs[index].err;
                }
            }
        }
        check();
    }

    void check() {
        const int expected_status[2] = {r.sender_status, r.receiver_status};
        for (int index = 0; index < 2; ++index) {
            const process& p = programs[index];
            if (ran[index] && !killed[index] && expected_status[index] != any_status) {
                EXPECT_FALSE(p.timed_out) << "it did not end by itself";
                EXPECT_EQ(p.status, expected_status[index]) << p.out << p.err;
            }
        }
        const std::string stream = expected_stream();
        if (ran[0]) {
            check_count(stream, programs[0].out + programs[0].err, "Successfully sent ");
        }
        if (ran[1]) {
            check_count(stream, r.data_on_stdout ? programs[1].err : programs[1].out, "Successfully received ");
        }
        if (peer_is_client) {
            EXPECT_TRUE(r.partial ? stream.starts_with(seen) : seen == stream)
                << "the peer read " << seen.size() << " bytes of " << stream.size();
        }
        if (r.data_on_stdout) {
            EXPECT_TRUE(programs[1].out == stream) << "standard output is not the stream";
        }
        if (!r.out.empty()) {
            static const std::regex address("Local TCP/IP address: [^\n]*\n");
            const process& p = programs[ran[0] ? 0 : 1];
            EXPECT_EQ(std::regex_replace(p.out, address, ""), fill(r.out));
        }
        check_files(stream);
        check_outputs();
        if (r.terminal) {
            const process& p = programs[ran[0] ? 0 : 1];
            EXPECT_EQ(terminal_mode(p).c_lflag, p.initial_mode.c_lflag) << "the terminal mode stays changed";
            EXPECT_EQ(terminal_mode(p).c_iflag, p.initial_mode.c_iflag);
        }
    }
};

TEST_P(program_run, holds) {
    run();
}

std::string row_name(const testing::TestParamInfo<row>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(sender, program_run, testing::ValuesIn(sender_rows()), row_name);
INSTANTIATE_TEST_SUITE_P(receiver, program_run, testing::ValuesIn(receiver_rows()), row_name);
INSTANTIATE_TEST_SUITE_P(pair, program_run, testing::ValuesIn(pair_rows()), row_name);
INSTANTIATE_TEST_SUITE_P(terminal, program_run, testing::ValuesIn(terminal_rows()), row_name);

}  // namespace

void PrintTo(const row& r, std::ostream* out) {
    *out << r.name;
}

}  // namespace wt
