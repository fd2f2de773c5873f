#include "checksum.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The sum of count bytes one at a time: the tail after the wide loops, and the whole
// buffer where no vector unit is known.
std::uint32_t sum_bytes_one_by_one(const unsigned char* bytes, std::size_t count) {
    std::uint32_t sum = 0;
    for (std::size_t index = 0; index < count; ++index) {
        sum += bytes[index];
    }
    return sum;
}

#if defined(__SSE2__)
// The sum of the whole 16-byte blocks of bytes: psadbw against zero adds each half of
// a block into a 64-bit lane, which cannot overflow for any length a 32-bit int allows.
std::uint32_t sum_sixteen_byte_blocks(const unsigned char* bytes, std::size_t block_count) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sum_a = _mm_setzero_si128();
    __m128i sum_b = _mm_setzero_si128();
    std::size_t block = 0;
    // Two accumulators let consecutive loads overlap instead of waiting on one add chain.
    for (; block + 2 <= block_count; block += 2) {
        const auto* first = reinterpret_cast<const __m128i*>(bytes + block * 16);
        sum_a = _mm_add_epi64(sum_a, _mm_sad_epu8(_mm_loadu_si128(first), zero));
        sum_b = _mm_add_epi64(sum_b, _mm_sad_epu8(_mm_loadu_si128(first + 1), zero));
    }
    if (block < block_count) {
        const auto* last = reinterpret_cast<const __m128i*>(bytes + block * 16);
        sum_a = _mm_add_epi64(sum_a, _mm_sad_epu8(_mm_loadu_si128(last), zero));
    }
    const __m128i total = _mm_add_epi64(sum_a, sum_b);
    const __m128i high = _mm_unpackhi_epi64(total, total);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_add_epi64(total, high)));
}
#endif

#if defined(__x86_64__)
// The sum of the whole 32-byte blocks of bytes, as above with twice the width; used only on
// processors that report AVX2, where it halves the share of the processor the sum takes.
__attribute__((target("avx2"))) std::uint32_t sum_thirty_two_byte_blocks(const unsigned char* bytes,
                                                                         std::size_t block_count) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i sum_a = _mm256_setzero_si256();
    __m256i sum_b = _mm256_setzero_si256();
    std::size_t block = 0;
    for (; block + 2 <= block_count; block += 2) {
        const auto* first = reinterpret_cast<const __m256i*>(bytes + block * 32);
        sum_a = _mm256_add_epi64(sum_a, _mm256_sad_epu8(_mm256_loadu_si256(first), zero));
        sum_b = _mm256_add_epi64(sum_b, _mm256_sad_epu8(_mm256_loadu_si256(first + 1), zero));
    }
    if (block < block_count) {
        const auto* last = reinterpret_cast<const __m256i*>(bytes + block * 32);
        sum_a = _mm256_add_epi64(sum_a, _mm256_sad_epu8(_mm256_loadu_si256(last), zero));
    }
    const __m256i total = _mm256_add_epi64(sum_a, sum_b);
    __m128i half = _mm_add_epi64(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
    half = _mm_add_epi64(half, _mm_unpackhi_epi64(half, half));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(half));
}

// Asked once at start-up; the feature probe must be initialised before a static initialiser
// may use it.
const bool processor_has_avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

}  // namespace

// The wrapping 32-bit sum of the first length bytes; 0 when length is 0 or less.
std::uint32_t checksum_bytes(const unsigned char* buffer, std::int32_t length) {
    if (length <= 0) {
        return 0;
    }
    auto count = static_cast<std::size_t>(length);
    std::uint32_t sum = 0;
#if defined(__x86_64__)
    if (processor_has_avx2) {
        sum += sum_thirty_two_byte_blocks(buffer, count / 32);
        buffer += count / 32 * 32;
        count %= 32;
    }
#endif
#if defined(__SSE2__)
    sum += sum_sixteen_byte_blocks(buffer, count / 16);
    buffer += count / 16 * 16;
    count %= 16;
#endif
    return sum + sum_bytes_one_by_one(buffer, count);
}
