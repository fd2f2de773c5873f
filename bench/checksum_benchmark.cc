// Compares the checksum the transfers use with a plain one-byte-at-a-time sum, on the block
// sizes the programs read and receive.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "checksum.h"

namespace {

std::vector<unsigned char> random_block(std::int64_t size) {
    std::mt19937 generator(5);
    std::uniform_int_distribution<int> byte_value(0, 255);
    std::vector<unsigned char> block(static_cast<std::size_t>(size));
    for (unsigned char& byte : block) {
        byte = static_cast<unsigned char>(byte_value(generator));
    }
    return block;
}

std::uint32_t one_byte_sum(const unsigned char* bytes, std::int32_t length) {
    std::uint32_t sum = 0;
    for (std::int32_t index = 0; index < length; ++index) {
        sum += bytes[index];
    }
    return sum;
}

void fast_checksum(benchmark::State& state) {
    const std::vector<unsigned char> block = random_block(state.range(0));
    const auto length = static_cast<std::int32_t>(block.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(checksum_bytes(block.data(), length));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void one_byte_loop(benchmark::State& state) {
    const std::vector<unsigned char> block = random_block(state.range(0));
    const auto length = static_cast<std::int32_t>(block.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(block.data());
        benchmark::DoNotOptimize(one_byte_sum(block.data(), length));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(fast_checksum)->Arg(4096)->Arg(32768);
BENCHMARK(one_byte_loop)->Arg(4096)->Arg(32768);

BENCHMARK_MAIN();
