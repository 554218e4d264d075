// The compressor against the engine's own decoder: whatever it writes must decode to
// the input, alone and as the files of a solid stream.
#include <gtest/gtest.h>
#include <malloc.h>

#include "pack/encode_v20.h"
#include "pack/pack_levels.h"
#include "tests/pack20/test_data.h"
#include "tests/support/allocator_replaceable.h"
#include "tests/support/unpack_harness.h"

using namespace pack20test;

namespace {

struct Packed {
  std::vector<Bytes> streams;
  std::vector<bool> solid;
  std::vector<bool> audio;
  size_t total = 0;
};

Packed packAll(const std::vector<Bytes>& files, bool solid,
               const V20EncoderOptions& options = V20EncoderOptions()) {
  V20Encoder encoder(options);
  Packed p;
  for (const Bytes& f : files) p.solid.push_back(encoder.addFile(f.data(), f.size(), solid));
  encoder.finish();
  EXPECT_EQ(encoder.finished.size(), files.size());
  for (auto& s : encoder.finished) {
    p.total += s.size();
    p.streams.push_back(s);
  }
  p.audio = encoder.usedAudio;
  return p;
}

// Decodes the streams in order, as the extraction loop would, and compares.
void expectDecodes(const std::vector<Bytes>& files, const Packed& p) {
  UnpackHarness harness;
  ASSERT_EQ(p.streams.size(), files.size());
  for (size_t i = 0; i < files.size(); i++) {
    Bytes out = harness.decode(p.streams[i], (uint32_t)files[i].size(), 20, p.solid[i]);
    ASSERT_EQ(out.size(), files[i].size()) << "file " << i;
    size_t diff = 0;
    while (diff < out.size() && out[diff] == files[i][diff]) diff++;
    ASSERT_EQ(diff, out.size()) << "file " << i << " differs at byte " << diff;
  }
}

size_t packedSize(const Bytes& file, MultimediaMode mode) {
  V20EncoderOptions options;
  options.multimedia = mode;
  return encodeV20(file.data(), file.size(), options).size();
}

}  // namespace

TEST(Pack20Encoder, SingleFilesOfEveryKindRoundTrip) {
  std::vector<Bytes> files = {text(150000, 1), structured(120000, 2), noise(40000, 3), Bytes(),
                              Bytes(1, 'x'), Bytes(5000, 0), Bytes{1, 2}};
  V20EncoderOptions lazy;
  lazy.optimalParsing = false;
  for (const Bytes& f : files) {
    expectDecodes({f}, packAll({f}, false));
    expectDecodes({f}, packAll({f}, false, lazy));
  }
  // Every level decodes with the same decoder, and a higher one is never larger.
  size_t previous = SIZE_MAX;
  for (int level = MinPackLevel; level <= MaxPackLevel; level++) {
    for (const Bytes& f : files) expectDecodes({f}, packAll({f}, false, v20LevelOptions(level)));
    size_t size = packAll({files[0], files[1]}, true, v20LevelOptions(level)).total;
    EXPECT_LE(size, previous) << "level " << level;
    previous = size;
  }
  // The cheapest path is never worse than the lazy choice by more than rounding.
  EXPECT_LT(packAll({files[0]}, false).total, packAll({files[0]}, false, lazy).total);
  // Compressible input shrinks, noise grows only by a little framing.
  EXPECT_LT(packAll({files[0]}, false).total, files[0].size() / 3);
  EXPECT_LT(packAll({files[1]}, false).total, files[1].size() / 2);
  EXPECT_LT(packAll({files[2]}, false).total, files[2].size() + files[2].size() / 50);
  EXPECT_LT(packAll({files[5]}, false).total, 100u);
}

TEST(Pack20Encoder, TableLinesThatDifferInAFewBytes) {
  // Locale-like tables: each line repeats the one before but for a field or two, so
  // the recent distances a path leaves decide what its next matches cost.
  std::string table;
  uint32_t seed = 11;
  for (int line = 0; line < 3000; line++) {
    char buffer[96];
    snprintf(buffer, sizeof buffer, "<U%04X> /x%02x/x%02x  %s SMALL LETTER %c%s\n", 0x100 + line / 3,
             0xc4 + line / 200, 0x80 + line % 64, line % 3 ? "LATIN" : "GREEK", 'A' + nextRandom(seed) % 26,
             nextRandom(seed) % 4 ? "" : " WITH ACUTE");
    table += buffer;
  }
  Bytes f(table.begin(), table.end());
  V20EncoderOptions options = v20LevelOptions(MaxPackLevel);
  Packed kept = packAll({f}, false, options);
  expectDecodes({f}, kept);
  // Fewer arrivals pack it larger; more than four are four.
  for (uint32_t arrivals : {1u, 2u, 9u}) {
    options.arrivals = arrivals;
    Packed p = packAll({f}, false, options);
    expectDecodes({f}, p);
    if (arrivals < 4) {
      EXPECT_LT(kept.total, p.total) << arrivals << " arrivals";
    } else {
      EXPECT_EQ(kept.total, p.total) << arrivals << " arrivals";
    }
  }
}

TEST(Pack20Encoder, FileLargerThanTheWindowWithFarMatches) {
  // Text blocks that come back about 600 KiB and 1 MiB later, past every distance
  // bonus and across the wrap of the window.
  Bytes head = text(300000, 11);
  Bytes f = head;
  Bytes middle = noise(300000, 12);
  f.insert(f.end(), middle.begin(), middle.end());
  f.insert(f.end(), head.begin(), head.end());
  Bytes tail = noise(420000, 13);
  f.insert(f.end(), tail.begin(), tail.end());
  f.insert(f.end(), head.begin(), head.begin() + 100000);
  Packed p = packAll({f}, false);
  expectDecodes({f}, p);
  // The repeats cost next to nothing; the noise and the first text dominate.
  EXPECT_LT(p.total, 720000u + packAll({head}, false).total + 20000);
}

TEST(Pack20Encoder, MatchesReachTheFarEndOfTheWindowButNotBeyond) {
  // 300 random bytes come back after exactly 2^20 - 1 bytes (the farthest byte still in
  // the window) or 2^20 (gone: that distance would copy the byte being written).
  size_t sizes[2];
  int i = 0;
  for (uint32_t d : {(1u << 20) - 1, 1u << 20}) {
    Bytes f = noise(300, 77);
    f.resize(d, 0);
    f.insert(f.end(), f.begin(), f.begin() + 300);
    Packed p = packAll({f}, false);
    expectDecodes({f}, p);
    sizes[i++] = p.total;
  }
  // The zeros cost the same either way; the copy within reach costs a few bytes.
  EXPECT_LT(sizes[0] + 250, sizes[1]);
}

TEST(Pack20Encoder, MatchesAtTheDistanceBonusThresholds) {
  // A repeat at exactly distance d (a long match) and a second one at the same distance
  // shortly after (a history match): the decoder lengthens both by its bonuses at 257,
  // 8192 and 262144, so an off-by-one on either side breaks the output.
  for (uint32_t d : {255u, 256u, 257u, 258u, 8191u, 8192u, 8193u, 262143u, 262144u, 262145u}) {
    Bytes f = noise(d + 700, d);
    for (int i = 0; i < 200; i++) f[d + i] = f[i];
    for (int i = 0; i < 150; i++) f[d + 300 + i] = f[300 + i];
    for (int i = 0; i < 3; i++) f[d + 600 + i] = f[600 + i];  // short: worth it only near
    Packed p = packAll({f}, false);
    expectDecodes({f}, p);
    // 350 of the bytes repeat: the matches must have been taken.
    Bytes plain = noise(d + 700, d);
    EXPECT_LT(p.total + 150, packAll({plain}, false).total) << "distance " << d;
  }
}

TEST(Pack20Encoder, ShortMatchesAndRepeatsOfTheLastMatch) {
  // Two-byte matches within 256 bytes, and the same match over and over (symbol 256).
  Bytes f;
  uint32_t seed = 5;
  for (int i = 0; i < 3000; i++) {
    f.push_back((uint8_t)nextRandom(seed));
    f.push_back((uint8_t)(nextRandom(seed) % 4));
    if (i % 7 == 0) f.insert(f.end(), {'a', 'b', 'c', 'd', 'e', 'f'});
  }
  Packed p = packAll({f}, false);
  expectDecodes({f}, p);
}

TEST(Pack20Encoder, ManySmallFilesSolidAndNot) {
  std::vector<Bytes> files;
  for (int i = 0; i < 120; i++) files.push_back(text(200 + (i * 37) % 900, 100 + i % 9));
  files.insert(files.begin() + 50, Bytes());  // an empty file inside the solid stream
  Packed solid = packAll(files, true);
  Packed separate = packAll(files, false);
  expectDecodes(files, solid);
  expectDecodes(files, separate);
  EXPECT_FALSE(solid.solid[0]);
  EXPECT_TRUE(solid.solid[1]);
  EXPECT_FALSE(separate.solid[1]);
  // Shared history and tables carried over make the solid stream far smaller.
  EXPECT_LT(solid.total * 3, separate.total);
  // Tables built for a run of small files, sent once, beat a header per file.
  V20EncoderOptions joined = v20LevelOptions(MaxPackLevel), apart = joined;
  apart.chooseBlocks = false;
  Packed shared = packAll(files, true, joined);
  expectDecodes(files, shared);
  EXPECT_LT(shared.total * 100, packAll(files, true, apart).total * 95);
}

TEST(Pack20Encoder, SolidStreamSwitchingBetweenLzAndAudio) {
  std::vector<Bytes> files = {text(30000, 1), wav(16, 2, 6000), text(20000, 2), bmp24(60, 40),
                              Bytes(),        wav(8, 1, 5000),  noise(3000, 4), text(10000, 3),
                              Bytes(),        Bytes(),          wav(8, 2, 3000), text(100, 5)};
  // Sound that ends in a repeat 300 bytes back, then a file that goes on repeating at
  // that distance: the sound's matches never reach the decoder, so the file cannot
  // refer to them as recent distances.
  Bytes sound = wav(8, 1, 3000, 99);
  for (size_t i = sound.size() - 40; i < sound.size(); i++) sound[i] = sound[i - 300];
  files.push_back(sound);
  files.push_back(Bytes(sound.end() - 300, sound.end() - 200));
  // Blocks joined across the files share tables only where no audio block comes between.
  expectDecodes(files, packAll(files, true, v20LevelOptions(MaxPackLevel)));
  Packed p = packAll(files, true);
  expectDecodes(files, p);
  EXPECT_FALSE(p.audio[0]);
  EXPECT_TRUE(p.audio[1]);
  EXPECT_TRUE(p.audio[3]);
  EXPECT_FALSE(p.audio[7]);
}

TEST(Pack20Encoder, SmallBlocksResendTablesWithTheKeepFlag) {
  V20EncoderOptions options;
  options.blockSymbols = 300;
  options.audioBlockBytes = 2000;
  std::vector<Bytes> files = {text(40000, 8), wav(16, 1, 8000), structured(20000, 9), wav(8, 2, 4000)};
  // Short blocks as they are, and joined where one set of tables costs less; one file
  // whose content changes inside, and a tiny one that ends within its first block.
  Bytes mixed = text(30000, 3);
  for (const Bytes& part : {structured(20000, 4), noise(3000, 5), text(20000, 6)})
    mixed.insert(mixed.end(), part.begin(), part.end());
  size_t sizes[2][2];
  for (int joined = 0; joined < 2; joined++) {
    options.chooseBlocks = joined;
    Packed p = packAll(files, true, options);
    expectDecodes(files, p);
    Packed q = packAll(files, false, options);
    expectDecodes(files, q);
    std::vector<Bytes> lone = {mixed, Bytes(40, 'z')};
    Packed m = packAll(lone, true, options);
    expectDecodes(lone, m);
    sizes[joined][0] = p.total;
    sizes[joined][1] = m.total;
  }
  // Joining saves table headers and never costs more than rounding.
  EXPECT_LT(sizes[1][0], sizes[0][0]);
  EXPECT_LT(sizes[1][1] * 100, sizes[0][1] * 99);
}

TEST(Pack20Encoder, MultimediaBlocksBeatLzOnSoundAndPictures) {
  std::vector<Bytes> files = {wav(8, 1, 20000), wav(8, 2, 12000), wav(16, 1, 12000), wav(16, 2, 8000),
                              bmp24(120, 80)};
  for (const Bytes& f : files) {
    size_t lz = packedSize(f, MultimediaMode::Off);
    size_t audio = packedSize(f, MultimediaMode::Auto);
    EXPECT_LT(audio * 10, lz * 9) << "file of " << f.size() << " bytes";
    Packed p = packAll({f}, false);
    EXPECT_TRUE(p.audio[0]);
    expectDecodes({f}, p);
  }
  // Text with a WAV name but no sound stays LZ, and is no bigger for having been tried.
  Bytes t = text(20000, 4);
  EXPECT_EQ(packedSize(t, MultimediaMode::On), packedSize(t, MultimediaMode::Off));
}

TEST(Pack20Encoder, MultimediaOnFindsSoundWithoutAHeader) {
  Bytes raw = wav(16, 2, 8000);
  raw.erase(raw.begin(), raw.begin() + 44);
  V20EncoderOptions options;
  options.multimedia = MultimediaMode::On;
  Packed p = packAll({raw}, false, options);
  EXPECT_TRUE(p.audio[0]);
  expectDecodes({raw}, p);
  EXPECT_LT(p.total * 10, packedSize(raw, MultimediaMode::Off) * 9);
}

TEST(Pack20Encoder, BytesAfterAStreamDoNotSwitchTables) {
  // Cipher padding puts up to 15 more bytes after a file's stream; the decoder reads
  // one symbol there when 5 bytes remain. The next solid file must not see a switch.
  std::vector<Bytes> files = {text(5000, 1), text(4000, 2), wav(8, 1, 3000), wav(8, 1, 2000), text(3000, 3)};
  for (uint8_t fill : {0x00, 0xFF, 0x55}) {
    Packed p = packAll(files, true);
    for (Bytes& s : p.streams) s.insert(s.end(), 15, fill);
    expectDecodes(files, p);
  }
}

TEST(Pack20Encoder, DetectsSoundAndPictureHeaders) {
  EXPECT_EQ(detectMultimediaChannels(wav(8, 1, 10).data(), 54), 1);
  EXPECT_EQ(detectMultimediaChannels(wav(8, 2, 10).data(), 64), 2);
  EXPECT_EQ(detectMultimediaChannels(wav(16, 1, 10).data(), 64), 2);
  EXPECT_EQ(detectMultimediaChannels(wav(16, 2, 10).data(), 84), 4);
  EXPECT_EQ(detectMultimediaChannels(wav(16, 3, 10).data(), 104), 0);  // 6 byte channels
  Bytes b = bmp24(4, 4);
  EXPECT_EQ(detectMultimediaChannels(b.data(), b.size()), 3);
  b[28] = 8;  // palette picture
  EXPECT_EQ(detectMultimediaChannels(b.data(), b.size()), 0);
  Bytes t = text(100, 1);
  EXPECT_EQ(detectMultimediaChannels(t.data(), t.size()), 0);
  Bytes cut = wav(8, 1, 10);
  EXPECT_EQ(detectMultimediaChannels(cut.data(), 30), 0);
}

TEST(Pack20Encoder, StreamsDoNotDependOnThreadsOrHowTheBytesAreFed) {
  // Small pieces, so that a batch of them is parsed on several threads and files start
  // and end inside pieces; the sound file starts 20 bytes before a piece ends, so its
  // header reaches into bytes that may not have been fed yet.
  std::vector<Bytes> files = {text(40000, 1), Bytes(), structured(41900, 2), wav(16, 2, 6000),
                              Bytes(10, 'a'), text(3000, 3), noise(9000, 4), text(50000, 1)};
  // Also with passes that price the last one, whose blocks end elsewhere.
  // And with short blocks joined by cost, every file tried as sound; and as the
  // default level packs.
  for (int run = 0; run < 5; run++) {
    bool solid = run != 1;
    V20EncoderOptions one = run == 4 ? v20LevelOptions(DefaultPackLevel) : V20EncoderOptions();
    one.pieceBytes = 16384;
    one.guidePasses = run >= 2 ? 2 : 0;
    one.chooseBlocks = run == 3;
    if (run == 3) one.multimedia = MultimediaMode::On;  // every file may turn out sound
    if (run == 3) one.blockSymbols = 500;
    Packed expected = packAll(files, solid, one);
    expectDecodes(files, expected);
    struct Way {
      int threads;
      size_t feed;  // bytes per feed; 0: whole files
    };
    for (Way way : {Way{4, 0}, Way{3, 1000}, Way{2, 16384}, Way{1, 7}}) {
      V20EncoderOptions options = one;
      options.threads = way.threads;
      V20Encoder encoder(options);
      for (const Bytes& f : files) {
        encoder.beginFile(solid);
        size_t step = way.feed ? way.feed : std::max<size_t>(f.size(), 1);
        for (size_t at = 0; at < f.size(); at += step) encoder.feed(f.data() + at, std::min(step, f.size() - at));
        encoder.endFile();
      }
      encoder.finish();
      ASSERT_EQ(encoder.finished.size(), files.size());
      for (size_t i = 0; i < files.size(); i++)
        EXPECT_TRUE(encoder.finished[i] == expected.streams[i])
            << "file " << i << ", " << way.threads << " threads, fed " << way.feed << (solid ? ", solid" : "")
            << ", guide passes " << one.guidePasses << ", joined " << one.chooseBlocks;
      EXPECT_TRUE(encoder.usedAudio == expected.audio);
    }
  }
}

// Every file takes blocks of its own, kept until its piece of the stream is coded: the
// heap in use while coding must not grow with the number of tiny files in one piece
// (ten times the files took ten times the memory, and pricing the joins of their
// blocks took the square of the time).
TEST(Pack20Encoder, ManyTinyFilesKeepMemoryBounded) {
#ifdef ALLOCATOR_REPLACED_ELSEWHERE
  GTEST_SKIP() << "the heap in use is not told under the address sanitizer";
#endif
  struct PeakSink : PackedSink {
    size_t start = heapInUse(), peak = 0;
    static size_t heapInUse() {
      struct mallinfo2 heap = mallinfo2();
      return heap.uordblks + heap.hblkhd;
    }
    void write(const uint8_t*, size_t) override { peak = std::max(peak, heapInUse() - start); }
    void endStream() override {}
  };
  size_t peaks[2];
  for (int run = 0; run < 2; run++) {
    PeakSink sink;
    V20Encoder encoder(v20LevelOptions(DefaultPackLevel));
    encoder.sink = &sink;
    for (int i = 0; i < (run == 0 ? 1200 : 12000); i++) {
      uint8_t file[3] = {(uint8_t)i, (uint8_t)(i >> 8), (uint8_t)(i * 7)};
      encoder.addFile(file, sizeof file, true);
    }
    encoder.finish();
    peaks[run] = sink.peak;
  }
  EXPECT_LT(peaks[1], peaks[0] + (6u << 20)) << peaks[0] << " bytes for 1200 files, " << peaks[1] << " for 12000";
}
