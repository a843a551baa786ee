#include "engine/automaton/rand_stream.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "engine/automaton/kernel_threads.h"

namespace {

constexpr int library_type = 3;  // the generator kind setstate() records
constexpr int kinds = 5;         // its record: kinds * rear index + kind

// a % d for every a < 2^31 without a division: a - d * ((a * magic) >> shift)
// with magic = ceil(2^(31 + l) / d), 2^(l-1) < d <= 2^l, which fits 32 bits.
struct divisor {
  std::uint32_t d = 1;
  std::uint64_t magic = 0;
  int shift = 31;
  explicit divisor(int modulus) : d(static_cast<std::uint32_t>(modulus)) {
    int l = 0;
    while ((1u << l) < d) ++l;
    shift = 31 + l;
    magic = ((std::uint64_t{1} << shift) + d - 1) / d;
  }
  std::uint32_t remainder(std::uint32_t a) const {
    return a - d * static_cast<std::uint32_t>((a * magic) >> shift);
  }
};

bool runs_avx2() {
  return active_kernel_set() == kernel_set::avx2;
}

__attribute__((target("avx2"))) inline __m256i words_at(const std::uint32_t* s) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
}

// Eight words n..n+7 from the 37 before them.
__attribute__((target("avx2"))) void advance_avx2(std::uint32_t* s, int from, int to) {
  for (int n = from; n < to; n += 8) {
    const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(words_at(s + n - 9), words_at(s + n - 31)),
                                         _mm256_add_epi32(words_at(s + n - 34), words_at(s + n - 37)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s + n), sum);
  }
  _mm256_zeroupper();
}

__attribute__((target("avx2"))) void remainders_avx2(const std::uint32_t* words,
                                                     std::uint32_t* out, int count,
                                                     const divisor& by) {
  const __m256i magic = _mm256_set1_epi64x(static_cast<long long>(by.magic));
  const __m128i shift = _mm_cvtsi32_si128(by.shift);
  const __m256i d = _mm256_set1_epi32(static_cast<int>(by.d));
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i a =
        _mm256_srli_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i)), 1);
    const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(a, magic), shift);
    const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(a, 32), magic), shift);
    const __m256i quotient = _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_sub_epi32(a, _mm256_mullo_epi32(quotient, d)));
  }
  _mm256_zeroupper();
  for (; i < count; ++i) out[i] = by.remainder(words[i] >> 1);
}

}  // namespace

rand_stream::rand_stream(random_source& source) {
#ifdef __GLIBC__
  char* state = source.own_state();
  if (state == nullptr) {
    state = setstate(reinterpret_cast<char*>(stand_in_.data()));
    if (state == nullptr) return;
    borrowed_ = true;
  }
  std::int32_t record = 0;
  std::memcpy(&record, state, sizeof record);
  if (record % kinds != library_type) {
    if (borrowed_) setstate(state);
    borrowed_ = false;
    return;
  }
  const int rear = record / kinds;
  front_ = (rear + separation) % degree;
  for (int j = 0; j < degree; ++j)
    std::memcpy(&sequence_[j], state + 4 * (1 + (front_ + j) % degree), 4);
  known_ = degree;
  library_state_ = state;
#else
  (void)source;
#endif
}

rand_stream::~rand_stream() {
#ifdef __GLIBC__
  if (library_state_ == nullptr) return;
  const int front = static_cast<int>((front_ + drawn_) % degree);
  for (int j = 0; j < degree; ++j)
    std::memcpy(library_state_ + 4 * (1 + (front + j) % degree), &sequence_[known_ - degree + j], 4);
  const std::int32_t record = kinds * ((front + degree - separation) % degree) + library_type;
  std::memcpy(library_state_, &record, sizeof record);
  if (borrowed_) setstate(library_state_);
#endif
}

void rand_stream::advance(int count) {
  std::uint32_t* s = sequence_;
  int n = known_;
  const int end = known_ + count;
  for (; n < end && n < history; ++n) s[n] = s[n - separation] + s[n - degree];
  const int whole = n + (end - n) / 8 * 8;
  if (runs_avx2()) {
    advance_avx2(s, n, whole);
    n = whole;
  }
  for (; n < end; ++n) s[n] = s[n - separation] + s[n - degree];
}

template <typename Cell>
void rand_stream::draw_cells(int modulus, Cell* out, int count) {
  if (library_state_ == nullptr) {
    for (int i = 0; i < count; ++i) out[i] = static_cast<Cell>(std::rand() % modulus);
    return;
  }
  const divisor by(modulus);
  alignas(32) std::array<std::uint32_t, chunk> remainders;
  while (count > 0) {
    const int n = std::min(count, chunk);
    advance(n);
    const std::uint32_t* words = sequence_ + known_;
    if (runs_avx2()) {
      remainders_avx2(words, remainders.data(), n, by);
    } else {
      for (int i = 0; i < n; ++i) remainders[i] = by.remainder(words[i] >> 1);
    }
    for (int i = 0; i < n; ++i) out[i] = static_cast<Cell>(remainders[i]);
    const int total = known_ + n;
    known_ = std::min(total, history);
    std::memmove(sequence_, sequence_ + total - known_, sizeof(std::uint32_t) * known_);
    drawn_ += n;
    out += n;
    count -= n;
  }
}

void rand_stream::draw(int modulus, std::int32_t* out, int count) {
  draw_cells(modulus, out, count);
}

void rand_stream::draw(int modulus, std::uint8_t* out, int count) {
  draw_cells(modulus, out, count);
}
