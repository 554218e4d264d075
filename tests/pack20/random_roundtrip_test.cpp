// Random mixes of inputs (text, code, noise, runs, sound, pictures, repeats of earlier
// bytes) under random encoder settings, solid and not, with random bytes after each
// stream as cipher padding would leave them: every stream must decode to its input.
#include <gtest/gtest.h>

#include "pack/encode_v20.h"
#include "tests/pack20/test_data.h"
#include "tests/support/unpack_harness.h"

using namespace pack20test;

namespace {

Bytes piece(uint32_t& r) {
  uint32_t kind = nextRandom(r) % 8, size = nextRandom(r) % (kind < 2 ? 20000 : 3000);
  switch (kind) {
    case 0: return text(size, nextRandom(r));
    case 1: return structured(size, nextRandom(r));
    case 2: return noise(size, nextRandom(r));
    case 3: return Bytes(size, (uint8_t)nextRandom(r));
    case 4: return wav(nextRandom(r) % 2 ? 8 : 16, 1 + nextRandom(r) % 2, size / 2 + 1, nextRandom(r));
    case 5: return bmp24(1 + size % 60, 1 + nextRandom(r) % 30, nextRandom(r));
    case 6: {
      Bytes b;
      for (uint32_t i = 0; i < size; i++) b.push_back("ab"[nextRandom(r) % 2]);
      return b;
    }
    default: return Bytes();
  }
}

}  // namespace

TEST(Pack20Random, MixedInputsUnderRandomSettingsRoundTrip) {
  for (uint32_t round = 0; round < 40; round++) {
    uint32_t r = round * 104729 + 17;
    V20EncoderOptions o;
    o.multimedia = (MultimediaMode)(nextRandom(r) % 3);
    o.optimalParsing = nextRandom(r) % 2;
    o.blockSymbols = 64 + nextRandom(r) % 9000;
    o.audioBlockBytes = 64 + nextRandom(r) % 20000;
    o.maxChain = 1 + nextRandom(r) % 64;
    o.guidePasses = nextRandom(r) % 3;
    o.chooseBlocks = nextRandom(r) % 2;
    o.matchLiteralRepeat = nextRandom(r) % 2;
    o.arrivals = 1 + nextRandom(r) % 5;
    o.audioJoinBlocks = 1 + nextRandom(r) % 130;
    bool solid = nextRandom(r) % 3 != 0;
    std::vector<Bytes> files(1 + nextRandom(r) % 6);
    for (Bytes& b : files) {
      for (int parts = 1 + nextRandom(r) % 3; parts > 0; parts--) {
        Bytes q = piece(r);
        if (nextRandom(r) % 3 == 0 && !b.empty()) {
          size_t from = nextRandom(r) % b.size();
          q.insert(q.end(), b.begin() + from, b.begin() + std::min(b.size(), from + 300));
        }
        b.insert(b.end(), q.begin(), q.end());
      }
    }
    V20Encoder encoder(o);
    std::vector<bool> coded;
    for (const Bytes& b : files) coded.push_back(encoder.addFile(b.data(), b.size(), solid));
    encoder.finish();
    ASSERT_EQ(encoder.finished.size(), files.size());
    UnpackHarness harness;
    bool pad = nextRandom(r) % 2;
    for (size_t i = 0; i < files.size(); i++) {
      Bytes p = encoder.finished[i];
      if (pad && !p.empty()) p.insert(p.end(), 15, (uint8_t)nextRandom(r));
      Bytes out = harness.decode(p, (uint32_t)files[i].size(), 20, coded[i]);
      ASSERT_TRUE(out == files[i]) << "round " << round << ", file " << i << " of " << files[i].size()
                                   << " bytes, block " << o.blockSymbols << ", optimal " << o.optimalParsing
                                   << ", passes " << o.guidePasses << ", joined " << o.chooseBlocks
                                   << ", match literal repeat " << o.matchLiteralRepeat
                                   << ", arrivals " << o.arrivals
                                   << ", multimedia " << (int)o.multimedia << ", solid " << coded[i]
                                   << ", chain " << o.maxChain << ", pad " << pad;
    }
  }
}
