#include "archive/checksum.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#define CRC_FOLDING 1
#endif

uint32_t crcTable[256];

// crcSlices[k - 1][b]: the CRC-32 step of byte b followed by k zero bytes. With them the
// update takes sixteen bytes per round instead of one; crcTable itself stays the plain
// one-byte table, which the ciphers read too.
static uint32_t crcSlices[15][256];

#ifdef CRC_FOLDING
// Long spans on 64-bit x86 processors with carry-less multiplication: the CRC of a
// span is the remainder of a polynomial product, so 64 bytes at a time are folded
// into four 128-bit accumulators by multiplying with x^n mod P for the distance they
// move, then the accumulators into one, and one 128-bit remainder reduced to 32 bits
// (Barrett). The constants are those powers of x, bit-reflected like the CRC itself.
static bool crcFoldingAvailable;
// Processors that multiply the four 128-bit lanes of a 512-bit register at once fold
// 256 bytes per round into four such registers instead.
static bool crcWideFoldingAvailable;

// An accumulator moved by the distance k stands for, with the next 16 bytes added.
__attribute__((target("pclmul,sse4.1"), always_inline)) static inline __m128i fold(__m128i x, __m128i k,
                                                                                 __m128i next) {
  __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// The four accumulators x1..x4 of consecutive 16-byte pieces, the bytes at p (length a
// multiple of 16) after them, to the CRC.
__attribute__((target("pclmul,sse4.1"), always_inline)) static inline uint32_t foldRest(
    __m128i x1, __m128i x2, __m128i x3, __m128i x4, const uint8_t* p, size_t length) {
  const __m128i fold4 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);  // 512 and 576 bits
  const __m128i fold1 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);  // 128 and 192 bits
  const __m128i fold32 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);  // mu and P
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  while (length >= 64) {
    x1 = fold(x1, fold4, _mm_loadu_si128((const __m128i*)p));
    x2 = fold(x2, fold4, _mm_loadu_si128((const __m128i*)(p + 16)));
    x3 = fold(x3, fold4, _mm_loadu_si128((const __m128i*)(p + 32)));
    x4 = fold(x4, fold4, _mm_loadu_si128((const __m128i*)(p + 48)));
    p += 64;
    length -= 64;
  }
  x1 = fold(x1, fold1, x2);
  x1 = fold(x1, fold1, x3);
  x1 = fold(x1, fold1, x4);
  while (length >= 16) {
    x1 = fold(x1, fold1, _mm_loadu_si128((const __m128i*)p));
    p += 16;
    length -= 16;
  }
  // 128 bits to 64, with 32 zero bits appended, then 64 to 32.
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(fold1, x1, 0x01), _mm_srli_si128(x1, 8));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), fold32, 0x00), _mm_srli_si128(x1, 4));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  return (uint32_t)_mm_extract_epi32(_mm_xor_si128(x1, t), 1);
}

__attribute__((target("pclmul,sse4.1"))) static uint32_t crcFolded(uint32_t acc, const uint8_t* p,
                                                                     size_t length) {
  // length >= 64 and a multiple of 16.
  __m128i x1 = _mm_xor_si128(_mm_loadu_si128((const __m128i*)p), _mm_cvtsi32_si128((int)acc));
  return foldRest(x1, _mm_loadu_si128((const __m128i*)(p + 16)), _mm_loadu_si128((const __m128i*)(p + 32)),
                  _mm_loadu_si128((const __m128i*)(p + 48)), p + 64, length - 64);
}

__attribute__((target("avx512f,vpclmulqdq"), always_inline)) static inline __m512i fold512(__m512i x, __m512i k,
                                                                                          __m512i next) {
  __m512i low = _mm512_clmulepi64_epi128(x, k, 0x00);
  __m512i high = _mm512_clmulepi64_epi128(x, k, 0x11);
  return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // the three xor'ed
}

__attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1"))) static uint32_t crcFoldedWide(uint32_t acc,
                                                                                         const uint8_t* p,
                                                                                         size_t length) {
  // length >= 256 and a multiple of 16.
  // In every lane (set by hand: the compiler's broadcast and extract helpers read an
  // undefined register and warn about it).
  const __m512i fold16 = _mm512_set_epi64(0x1322d1430, 0x11542778a, 0x1322d1430, 0x11542778a, 0x1322d1430,
                                          0x11542778a, 0x1322d1430, 0x11542778a);  // 2048 and 2112 bits
  const __m512i fold4 = _mm512_set_epi64(0x1c6e41596, 0x154442bd4, 0x1c6e41596, 0x154442bd4, 0x1c6e41596,
                                         0x154442bd4, 0x1c6e41596, 0x154442bd4);
  __m512i z1 = _mm512_loadu_si512(p);
  __m512i z2 = _mm512_loadu_si512(p + 64);
  __m512i z3 = _mm512_loadu_si512(p + 128);
  __m512i z4 = _mm512_loadu_si512(p + 192);
  z1 = _mm512_xor_si512(z1, _mm512_inserti32x4(_mm512_setzero_si512(), _mm_cvtsi32_si128((int)acc), 0));
  p += 256;
  length -= 256;
  while (length >= 256) {
    z1 = fold512(z1, fold16, _mm512_loadu_si512(p));
    z2 = fold512(z2, fold16, _mm512_loadu_si512(p + 64));
    z3 = fold512(z3, fold16, _mm512_loadu_si512(p + 128));
    z4 = fold512(z4, fold16, _mm512_loadu_si512(p + 192));
    p += 256;
    length -= 256;
  }
  // Onto the last 64 bytes, whose lanes are then the four 16-byte accumulators.
  z1 = fold512(z1, fold4, z2);
  z1 = fold512(z1, fold4, z3);
  z1 = fold512(z1, fold4, z4);
  return foldRest(_mm512_maskz_extracti32x4_epi32(0xFF, z1, 0), _mm512_maskz_extracti32x4_epi32(0xFF, z1, 1),
                  _mm512_maskz_extracti32x4_epi32(0xFF, z1, 2), _mm512_maskz_extracti32x4_epi32(0xFF, z1, 3), p,
                  length);
}

// Whether the processor and the system (which must save the 512-bit registers) allow
// the wide folding.
static bool wideFoldingUsable() {
  unsigned int eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_OSXSAVE)) return false;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) || !(ebx & bit_AVX512F) || !(ecx & bit_VPCLMULQDQ))
    return false;
  unsigned int low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (low & 0xE6) == 0xE6;  // the SSE, AVX and three AVX-512 states
}
#endif

void buildCrcTable() {
  static bool built;
  if (built) return;
#ifdef CRC_FOLDING
  unsigned int eax, ebx, ecx, edx;
  crcFoldingAvailable = __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
  crcWideFoldingAvailable = crcFoldingAvailable && wideFoldingUsable();
#endif
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; bit++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    crcTable[i] = c;
  }
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = crcTable[i];
    for (int k = 0; k < 15; k++) {
      c = crcTable[c & 0xFF] ^ (c >> 8);
      crcSlices[k][i] = c;
    }
  }
  built = true;
}

uint32_t updateCrc32(uint32_t acc, const void* data, size_t length) {
  const uint8_t* p = (const uint8_t*)data;
#ifdef CRC_FOLDING
  if (length >= 64 && crcFoldingAvailable) {
    size_t whole = length & ~(size_t)15;
    acc = whole >= 256 && crcWideFoldingAvailable ? crcFoldedWide(acc, p, whole) : crcFolded(acc, p, whole);
    p += whole;
    length -= whole;
  }
#endif
  // The same sum as sixteen one-byte steps: a table lookup is linear in the
  // accumulator, so the contributions of the bytes can be looked up independently.
  while (length >= 16) {
    // Little-endian words, assembled by hand so that no call survives a build for size.
    uint32_t w0 = acc ^ ((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                         (uint32_t)p[3] << 24);
    uint32_t w1 = (uint32_t)p[4] | (uint32_t)p[5] << 8 | (uint32_t)p[6] << 16 | (uint32_t)p[7] << 24;
    uint32_t w2 = (uint32_t)p[8] | (uint32_t)p[9] << 8 | (uint32_t)p[10] << 16 | (uint32_t)p[11] << 24;
    uint32_t w3 =
        (uint32_t)p[12] | (uint32_t)p[13] << 8 | (uint32_t)p[14] << 16 | (uint32_t)p[15] << 24;
    acc = crcSlices[14][w0 & 0xFF] ^ crcSlices[13][(w0 >> 8) & 0xFF] ^
          crcSlices[12][(w0 >> 16) & 0xFF] ^ crcSlices[11][w0 >> 24] ^
          crcSlices[10][w1 & 0xFF] ^ crcSlices[9][(w1 >> 8) & 0xFF] ^
          crcSlices[8][(w1 >> 16) & 0xFF] ^ crcSlices[7][w1 >> 24] ^
          crcSlices[6][w2 & 0xFF] ^ crcSlices[5][(w2 >> 8) & 0xFF] ^
          crcSlices[4][(w2 >> 16) & 0xFF] ^ crcSlices[3][w2 >> 24] ^
          crcSlices[2][w3 & 0xFF] ^ crcSlices[1][(w3 >> 8) & 0xFF] ^
          crcSlices[0][(w3 >> 16) & 0xFF] ^ crcTable[w3 >> 24];
    p += 16;
    length -= 16;
  }
  while (length-- > 0) acc = crcTable[(acc ^ *p++) & 0xFF] ^ (acc >> 8);
  return acc;
}

uint16_t updateChecksum16(uint32_t acc, const void* data, size_t length) {
  const uint8_t* p = (const uint8_t*)data;
  uint32_t sum = acc & 0xFFFF;
  for (size_t i = 0; i < length; i++) {
    sum = (sum + p[i]) & 0xFFFF;
    sum = ((sum << 1) | (sum >> 15)) & 0xFFFF;
  }
  return (uint16_t)sum;
}

uint32_t updateChecksum(uint32_t acc, const void* data, size_t length, int mode) {
  if (mode == 1) return updateChecksum16(acc, data, length);
  return updateCrc32(acc, data, length);
}
