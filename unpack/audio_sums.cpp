// The cycle's error sums. The plain loops are simple enough for the compiler to run
// eight bytes per instruction; on 64-bit x86 processors with 256-bit vectors the whole
// cycle takes a few dozen instructions, sums reduced together. The sums are the same
// either way: small integers, added in another order.
#include "unpack/audio_sums.h"

#include "unpack/unpack_state.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define AUDIO_SUMS_AVX2 1
#endif

int audioSumsInVectors = 1;

// Each |e +- input| is at most 1024 + 255, so 32 of them stay below 65,536: the sums
// are kept in 16-bit lanes.
static inline void addErrorPair(const int16_t* e, const int16_t* input, uint32_t* minus, uint32_t* plus) {
  uint16_t down = 0, up = 0;
  for (uint32_t k = 0; k < AudioCycleBytes; k++) {
    int16_t a = (int16_t)(e[k] - input[k]), b = (int16_t)(e[k] + input[k]);
    down = (uint16_t)(down + (uint16_t)(a < 0 ? -a : a));
    up = (uint16_t)(up + (uint16_t)(b < 0 ? -b : b));
  }
  *minus += down;
  *plus += up;
}

uint32_t smallestAudioSum(const uint32_t* sums) {
  // The sum and its index in one key, so that the lowest index wins a tie; picked
  // without branches, as which sum wins is as good as random.
  uint64_t best = (uint64_t)sums[0] << 4;
  for (uint32_t i = 1; i < 11; i++) {
    uint64_t key = (uint64_t)sums[i] << 4 | i;
    best = key < best ? key : best;
  }
  return (uint32_t)(best & 15);
}

static void addSumsPlainly(const int16_t* words, uint32_t* sums) {
  // The predictor's inputs of every byte of the cycle, from the deltas before it, and
  // its error, 8 times the signed symbol.
  int16_t inputs[4][AudioCycleBytes], e[AudioCycleBytes];
  const int16_t* d = words + AudioBatchDelta;
  const int16_t* symbol = words + AudioBatchSymbol;
  for (uint32_t k = 0; k < AudioCycleBytes; k++) {
    inputs[0][k] = d[k + 3];
    inputs[1][k] = (int16_t)(d[k + 3] - d[k + 2]);
    inputs[2][k] = (int16_t)(d[k + 2] - d[k + 1]);
    inputs[3][k] = (int16_t)(d[k + 1] - d[k]);
    e[k] = (int16_t)(8 * (int8_t)(uint8_t)symbol[k]);
  }
  uint16_t plain = 0;
  for (uint32_t k = 0; k < AudioCycleBytes; k++) plain = (uint16_t)(plain + (uint16_t)(e[k] < 0 ? -e[k] : e[k]));
  sums[0] += plain;
  for (int i = 0; i < 4; i++) addErrorPair(e, inputs[i], &sums[1 + 2 * i], &sums[2 + 2 * i]);
  addErrorPair(e, words + AudioBatchCross, &sums[9], &sums[10]);
}

#ifdef AUDIO_SUMS_AVX2
#define AVX2 __attribute__((target("avx2")))

AVX2 static inline __m256i loadWords(const int16_t* p) { return _mm256_loadu_si256((const __m256i*)p); }

// |e - x| and |e + x| over the cycle's two halves, folded to one vector each.
AVX2 static inline void errorPair(__m256i e0, __m256i e1, __m256i x0, __m256i x1, __m256i* minus,
                                  __m256i* plus) {
  *minus = _mm256_add_epi16(_mm256_abs_epi16(_mm256_sub_epi16(e0, x0)), _mm256_abs_epi16(_mm256_sub_epi16(e1, x1)));
  *plus = _mm256_add_epi16(_mm256_abs_epi16(_mm256_add_epi16(e0, x0)), _mm256_abs_epi16(_mm256_add_epi16(e1, x1)));
}

// The two 128-bit halves of v added: eight 16-bit sums.
AVX2 static inline __m128i foldHalves(__m256i v) {
  return _mm_add_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

AVX2 static uint32_t bestSumInVectors(const int16_t* words) {
  // The cycle's last four slots were written a moment ago, sixteen bits at a time: a
  // wide load over them would have to wait until those stores reach the cache, so
  // they are read sixteen bits at a time too. The wide loads take slots 0 .. 15 and
  // 12 .. 27, the second with its first four places cleared.
  const int16_t* symbol = words + AudioBatchSymbol;
  const int16_t* cross = words + AudioBatchCross;
  const int16_t* d = words + AudioBatchDelta;
  const __m256i lateTwelve = _mm256_setr_epi16(0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  // The symbol's low byte, sign-extended and times 8, in one shift pair.
  __m256i e0 = _mm256_srai_epi16(_mm256_slli_epi16(loadWords(symbol), 8), 5);
  __m256i e1 = _mm256_srai_epi16(_mm256_slli_epi16(_mm256_and_si256(loadWords(symbol + 12), lateTwelve), 8), 5);
  __m256i d3a = loadWords(d + 3), d3b = _mm256_and_si256(loadWords(d + 15), lateTwelve);
  __m256i d2a = loadWords(d + 2), d2b = _mm256_and_si256(loadWords(d + 14), lateTwelve);
  __m256i d1a = loadWords(d + 1), d1b = _mm256_and_si256(loadWords(d + 13), lateTwelve);
  __m256i d0a = loadWords(d), d0b = _mm256_and_si256(loadWords(d + 12), lateTwelve);
  __m256i ca = loadWords(cross), cb = _mm256_and_si256(loadWords(cross + 12), lateTwelve);
  // Slots 28 .. 31 in the low four places of 128-bit vectors.
  __m128i lastDeltas = _mm_setr_epi16(d[28], d[29], d[30], d[31], d[32], d[33], d[34], 0);
  __m128i t0 = _mm_move_epi64(lastDeltas), t1 = _mm_move_epi64(_mm_srli_si128(lastDeltas, 2));
  __m128i t2 = _mm_move_epi64(_mm_srli_si128(lastDeltas, 4)), t3 = _mm_move_epi64(_mm_srli_si128(lastDeltas, 6));
  __m128i tailE = _mm_srai_epi16(_mm_slli_epi16(_mm_setr_epi16(symbol[28], symbol[29], symbol[30], symbol[31], 0, 0, 0, 0), 8), 5);
  __m128i tailCross = _mm_setr_epi16(cross[28], cross[29], cross[30], cross[31], 0, 0, 0, 0);
  // The tail joins the second half's lanes 0 .. 3, which the mask left empty.
  e1 = _mm256_or_si256(e1, _mm256_zextsi128_si256(tailE));
  d3b = _mm256_or_si256(d3b, _mm256_zextsi128_si256(t3));
  d2b = _mm256_or_si256(d2b, _mm256_zextsi128_si256(t2));
  d1b = _mm256_or_si256(d1b, _mm256_zextsi128_si256(t1));
  d0b = _mm256_or_si256(d0b, _mm256_zextsi128_si256(t0));
  cb = _mm256_or_si256(cb, _mm256_zextsi128_si256(tailCross));
  __m256i acc[12];
  acc[0] = _mm256_add_epi16(_mm256_abs_epi16(e0), _mm256_abs_epi16(e1));
  errorPair(e0, e1, d3a, d3b, &acc[1], &acc[2]);
  errorPair(e0, e1, _mm256_sub_epi16(d3a, d2a), _mm256_sub_epi16(d3b, d2b), &acc[3], &acc[4]);
  errorPair(e0, e1, _mm256_sub_epi16(d2a, d1a), _mm256_sub_epi16(d2b, d1b), &acc[5], &acc[6]);
  errorPair(e0, e1, _mm256_sub_epi16(d1a, d0a), _mm256_sub_epi16(d1b, d0b), &acc[7], &acc[8]);
  errorPair(e0, e1, ca, cb, &acc[9], &acc[10]);
  acc[11] = _mm256_setzero_si256();
  // Pairwise additions keep each vector's order: after three rounds every 128-bit half
  // holds one sum per vector, of vectors 0 .. 7 in one, of 8 .. 11 and zeros in the
  // other. The sums wrap in 16 bits but end below 65,536.
  __m256i a01 = _mm256_hadd_epi16(acc[0], acc[1]), a23 = _mm256_hadd_epi16(acc[2], acc[3]);
  __m256i a45 = _mm256_hadd_epi16(acc[4], acc[5]), a67 = _mm256_hadd_epi16(acc[6], acc[7]);
  __m256i a89 = _mm256_hadd_epi16(acc[8], acc[9]), a1011 = _mm256_hadd_epi16(acc[10], acc[11]);
  __m256i low = _mm256_hadd_epi16(_mm256_hadd_epi16(a01, a23), _mm256_hadd_epi16(a45, a67));
  __m256i high = _mm256_hadd_epi16(_mm256_hadd_epi16(a89, a1011), acc[11]);
  // The smallest of each eight with its index (the lowest on a tie); the five unused
  // places of the second eight hold 65,535, above any sum.
  __m128i pad = _mm_setr_epi16(0, 0, 0, -1, -1, -1, -1, -1);
  uint32_t first = (uint32_t)_mm_cvtsi128_si32(_mm_minpos_epu16(foldHalves(low)));
  uint32_t second = (uint32_t)_mm_cvtsi128_si32(_mm_minpos_epu16(_mm_or_si128(foldHalves(high), pad)));
  // Which eight wins is as good as random: chosen by a mask, not a branch.
  uint32_t fromFirst = (first >> 16) & 7, fromSecond = 8 + ((second >> 16) & 7);
  uint32_t takeSecond = 0u - (uint32_t)((second & 0xFFFF) < (first & 0xFFFF));
  return fromFirst ^ ((fromFirst ^ fromSecond) & takeSecond);
}
#endif

uint32_t bestCycleSum(const int16_t* words) {
#ifdef AUDIO_SUMS_AVX2
  static int checked = -1;
  if (checked < 0) checked = __builtin_cpu_supports("avx2") ? 1 : 0;
  if (audioSumsInVectors && checked) return bestSumInVectors(words);
#endif
  uint32_t sums[11] = {0};
  addSumsPlainly(words, sums);
  return smallestAudioSum(sums);
}
