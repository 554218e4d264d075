// The version 2.0 decoder over hand-assembled streams: every symbol kind, the length
// bonuses at their exact thresholds, table headers and their rare paths, the audio
// channel rotation, and what carries from one solid file to the next.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/unpack_harness.h"
#include "tests/v20/v20_stream.h"
#include "unpack/unpack.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes zeros(size_t n) { return Bytes(n, 0); }
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct V20Decoder : ::testing::Test {
  UnpackHarness harness;
  Bytes decode(const V20Stream& s, size_t size, bool solid = false) {
    return harness.decode(s.finish(), (uint32_t)size, 20, solid);
  }
};

TEST_F(V20Decoder, LiteralsMatchesShortMatchesAndHistory) {
  V20Stream s;
  s.lzHeader();
  s.literals("abcd");
  s.match(6, 4);         // abcdab
  s.shortMatch(3);       // 2 bytes from 3 back: "da"
  s.historyMatch(2, 2);  // the match before the last one: distance 4, 2 + 2 = 4 bytes
  s.repeatLast();        // the same again: distance 4, length 4
  s.literal('!');
  Bytes expected = text("abcd") + text("abcdab");
  expected = expected + Bytes{expected[expected.size() - 3], expected[expected.size() - 2]};
  for (int round = 0; round < 2; round++)
    for (int i = 0; i < 4; i++) expected.push_back(expected[expected.size() - 4]);
  expected.push_back('!');
  EXPECT_EQ(decode(s, expected.size()), expected);
}

TEST_F(V20Decoder, RepeatAndHistoryAtTheStartOfANonSolidFile) {
  {
    // 256 with nothing before copies lastLength 0 bytes: the file goes on with the
    // literal.
    V20Stream s;
    s.lzHeader();
    s.repeatLast();
    s.literals("xy");
    EXPECT_EQ(decode(s, 2), text("xy"));
  }
  {
    // A history symbol on a cleared history takes distance 0, copying the window onto
    // itself: zeros on a fresh window, even after an earlier file filled it.
    V20Stream first;
    first.lzHeader();
    first.literals("QQQQQQQQ");
    EXPECT_EQ(decode(first, 8), text("QQQQQQQQ"));
    V20Stream s;
    s.lzHeader();
    s.historyMatch(3, 4);  // distance 0: no bonus, 4 + 2 bytes
    s.literal('z');
    EXPECT_EQ(decode(s, 7), zeros(6) + text("z"));
  }
}

// Match lengths carry a bonus of one byte from distance 8,192 and another from
// 262,144; a history match one more from 257. The byte after the match shows where the
// match ended.
TEST_F(V20Decoder, LengthBonusesAtExactThresholds) {
  struct Case {
    uint32_t distance;
    uint32_t mainLength;     // slot 0 plus bonuses
    uint32_t historyLength;  // repeat slot 0 plus bonuses
  } cases[] = {
      {256, 3, 2},    {257, 3, 3},    {8191, 3, 3},   {8192, 4, 4},
      {262143, 4, 4}, {262144, 5, 5}, {1048576, 5, 5},
  };
  for (const Case& c : cases) {
    V20Stream s;
    s.lzHeader();
    s.literal('a');
    // The bonus is implied: the writer sends mainLength minus the bonus, i.e. slot 0.
    s.match(c.mainLength, c.distance);
    s.literal('b');
    s.historyMatch(1, 0);
    s.literal('c');
    s.repeatLast();  // exactly the history match's length, no bonus on top
    s.literal('d');
    // The distance reaches before the file's start (zeros), except 2^20, which folds to
    // the distance 0 and copies each zero onto itself.
    Bytes expected = text("a") + zeros(c.mainLength) + text("b") + zeros(c.historyLength) +
                     text("c") + zeros(c.historyLength) + text("d");
    EXPECT_EQ(decode(s, expected.size()), expected) << "distance " << c.distance;
  }
}

TEST_F(V20Decoder, MatchesReachIntoEarlierDataAcrossTheWholeWindow) {
  // A literal seeds bytes at known places, then a long-distance match copies them back.
  V20Stream s;
  s.lzHeader();
  s.literals("Lumvard");
  // Pad up to 300,000 bytes with a run (distance 1 copies the last byte).
  Bytes expected = text("Lumvard");
  size_t pad = 300000 - expected.size();
  while (pad > 0) {
    uint32_t n = pad > 255 ? 255 : (uint32_t)pad;  // never below 3 here
    s.match(n, 1);
    expected.insert(expected.end(), n, 'd');
    pad -= n;
  }
  s.match(7, 300000);  // bonuses: 7 = slot 4 + 1 + 1
  expected = expected + text("Lumvard");
  EXPECT_EQ(decode(s, expected.size()), expected);
}

TEST_F(V20Decoder, FileLargerThanTheWindowWrapsAndFlushesEverything) {
  V20Stream s;
  s.lzHeader();
  Bytes expected;
  // Literal / run pairs with a changing literal, so that any lost or overwritten
  // unflushed stretch shows.
  for (uint32_t i = 0; expected.size() < WindowSize + 70000; i++) {
    uint8_t b = (uint8_t)(i * 37 + 11);
    s.literal(b);
    uint32_t run = 3 + i % 250;
    s.match(run, 1);
    expected.push_back(b);
    expected.insert(expected.end(), run, b);
  }
  Bytes out = decode(s, expected.size());
  ASSERT_EQ(out.size(), expected.size());
  EXPECT_TRUE(out == expected);
}

TEST_F(V20Decoder, FinalMatchRunningPastTheSizeIsWrittenWhole) {
  V20Stream s;
  s.lzHeader();
  s.literals("ab");
  s.match(10, 2);
  s.literal('z');  // never read: the match already ran past the size
  EXPECT_EQ(decode(s, 5), text("abababababab"));
}

TEST_F(V20Decoder, CodeSixteenFirstRepeatsLengthZero) {
  V20Stream s;
  s.headerStart(false, false);
  // Symbols 0..5 absent through a repeat with nothing before it, then 9 bits for all.
  s.lengthOp(16, 3);  // 6 repeats
  std::vector<uint8_t> all = V20Stream::joinLz(V20Stream::flat(298, 9), V20Stream::flat(48, 6),
                                               V20Stream::flat(28, 5));
  for (int i = 0; i < 6; i++) all[i] = 0;
  for (size_t i = 6; i < all.size(); i++) s.lengthOp(all[i]);
  s.adoptLz(all);
  s.literals("Hello");
  EXPECT_EQ(decode(s, 5), text("Hello"));
}

TEST_F(V20Decoder, RepeatCodesStopAtTheEndOfTheTable) {
  // Each run overshoots the last table; the header ends there and the first main
  // symbol follows directly.
  for (uint32_t op : {16u, 17u, 18u}) {
    V20Stream s;
    s.headerStart(false, false);
    std::vector<uint8_t> all = V20Stream::joinLz(V20Stream::flat(298, 9), V20Stream::flat(48, 6),
                                                 V20Stream::flat(28, 5));
    size_t explicitCount = 370;  // 4 entries left for the run, which asks for 6 or more
    for (size_t i = 0; i < explicitCount; i++) s.lengthOp(all[i]);
    if (op == 16) {
      s.lengthOp(16, 3);  // 6 copies of the 5 before
    } else if (op == 17) {
      s.lengthOp(17, 7);  // 10 zeros
      for (size_t i = explicitCount; i < all.size(); i++) all[i] = 0;
    } else {
      s.lengthOp(18, 127);  // 138 zeros
      for (size_t i = explicitCount; i < all.size(); i++) all[i] = 0;
    }
    s.adoptLz(all);
    s.literals("ok");
    s.historyMatch(1, 0);  // repeat slot 0 still has its code from the explicit part
    s.literal('!');
    EXPECT_EQ(decode(s, 5), text("ok") + zeros(2) + text("!")) << "code " << op;
  }
}

TEST_F(V20Decoder, RepeatCodeSixteenInsideTheTableCopiesThePreviousLength) {
  V20Stream s;
  s.headerStart(false, false);
  std::vector<uint8_t> all = V20Stream::joinLz(V20Stream::flat(298, 9), V20Stream::flat(48, 6),
                                               V20Stream::flat(28, 5));
  // Literals 'a'..'f' get length 8 through one explicit 8 and a repeat of 5.
  for (size_t i = 0; i < 'a'; i++) s.lengthOp(all[i]);
  s.lengthOp(8);
  s.lengthOp(16, 2);
  for (size_t i = 'a'; i < 'a' + 6; i++) all[i] = 8;
  // 'g'..'z' absent through a 17 (3 + 5 zeros) and an 18 (11 + 1 zeros) -> 20 entries.
  s.lengthOp(17, 5);
  s.lengthOp(18, 1);
  for (size_t i = 'g'; i < 'g' + 20; i++) all[i] = 0;
  for (size_t i = 'g' + 20; i < all.size(); i++) s.lengthOp(all[i]);
  s.adoptLz(all);
  s.literals("face{}");
  EXPECT_EQ(decode(s, 6), text("face{}"));
}

TEST_F(V20Decoder, KeepFlagAddsToTheLengthsOfTheOtherMode) {
  V20Stream s;
  std::vector<uint8_t> m = V20Stream::flat(298, 9);
  for (int i = 0; i < 40; i++) m[i] = 10;  // differs from the audio lengths below
  s.lzHeader(false, m);
  s.literals("LZ");
  s.newTables();
  // One channel: its 257 lengths are sent as differences to the LZ header's first 257.
  s.audioHeader(1, true);
  Bytes expected = text("LZ");
  for (uint8_t b : {100, 102, 104, 106, 90}) {
    s.audioByte(b);
    expected.push_back(b);
  }
  s.audioTableSwitch();
  // Back to LZ with keep: entries 0..256 add to the audio lengths, 257..373 to the
  // first LZ header's, which the audio header of size 257 did not touch.
  std::vector<uint8_t> m2 = V20Stream::flat(298, 9);
  for (int i = 260; i < 298; i++) m2[i] = 8;
  s.lzHeader(true, m2, V20Stream::flat(48, 7));
  s.literals("ok");
  s.match(4, 9);
  expected = expected + text("ok");
  for (int i = 0; i < 4; i++) expected.push_back(expected[expected.size() - 9]);
  EXPECT_EQ(decode(s, expected.size()), expected);
}

TEST_F(V20Decoder, KeepFlagWithALargerAudioHeaderReadsOlderEntries) {
  // Four channels after LZ: entries 374..1027 were last set by nothing (zero), 257..373
  // by the LZ header; a keep header adds to all of them.
  V20Stream s;
  std::vector<uint8_t> r = V20Stream::flat(28, 3);
  s.lzHeader(false, V20Stream::flat(298, 9), V20Stream::flat(48, 6), r);
  s.literal('#');
  s.newTables();
  s.audioHeader(4, true);
  Bytes expected = text("#");
  for (int i = 0; i < 40; i++) {
    uint8_t b = (uint8_t)(120 + (i % 4) * 5 + i / 4);
    s.audioByte(b);
    expected.push_back(b);
  }
  EXPECT_EQ(decode(s, expected.size()), expected);
}

TEST_F(V20Decoder, KeepFlagClearedStartsFromZero) {
  V20Stream s;
  s.lzHeader(false, V20Stream::flat(298, 10));
  s.literal('1');
  s.newTables();
  s.lzHeader(false);  // absolute lengths: the stored 10s must not be added
  s.literal('2');
  EXPECT_EQ(decode(s, 2), text("12"));
}

TEST_F(V20Decoder, ChannelRotationAcrossHeaders) {
  V20Stream s;
  s.audioHeader(3);
  Bytes expected;
  auto put = [&](uint8_t b) {
    s.audioByte(b);
    expected.push_back(b);
  };
  put(10);
  put(20);  // the next byte belongs to channel 2
  s.audioTableSwitch();
  // Two channels: channel 2 no longer exists, the rotation restarts at channel 0.
  s.audioHeader(2);
  ASSERT_EQ(s.current, 0);
  put(11);
  put(21);
  put(12);  // the next byte belongs to channel 1
  s.audioTableSwitch();
  // Three channels again: channel 1 is still valid, so the rotation goes on from there;
  // channels 0 and 1 keep their predictor states through both headers.
  s.audioHeader(3);
  ASSERT_EQ(s.current, 1);
  put(22);
  put(30);
  put(13);
  EXPECT_EQ(decode(s, expected.size()), expected);
}

TEST_F(V20Decoder, PredictorRunsOnAcrossAnLzBlock) {
  V20Stream s;
  s.audioHeader(2);
  Bytes expected;
  for (int i = 0; i < 70; i++) {
    uint8_t b = (uint8_t)(i * 3 + (i & 1) * 50);
    s.audioByte(b);
    expected.push_back(b);
  }
  s.audioTableSwitch();
  s.lzHeader();
  s.literals("mid");
  s.historyMatch(1, 0);  // the history is still cleared: distance 0 copies the window
  expected = expected + text("mid");
  expected.push_back(0);
  expected.push_back(0);
  s.newTables();
  s.audioHeader(2, true);
  for (int i = 70; i < 140; i++) {
    uint8_t b = (uint8_t)(i * 3 + (i & 1) * 50);
    s.audioByte(b);
    expected.push_back(b);
  }
  Bytes out = decode(s, expected.size());
  EXPECT_EQ(out, expected);
}

TEST_F(V20Decoder, TrailingTableSwitchAppliesToTheNextSolidFile) {
  V20Stream first;
  first.lzHeader();
  first.literals("one");
  // After the file's last symbol: a switch to a table where 'x' has a short code.
  first.newTables();
  std::vector<uint8_t> m = V20Stream::flat(298, 9);
  m['x'] = 3;
  m['y'] = 3;
  first.lzHeader(false, m);
  EXPECT_EQ(decode(first, 3), text("one"));

  // The solid file reads no header; the writer's tables are the trailing ones.
  V20Stream second = first;
  second.bits = BitWriter();
  second.literals("xyx");
  second.match(3, 6);  // reaches back into the first file: "one"
  EXPECT_EQ(decode(second, 6, true), text("xyxone"));
}

TEST_F(V20Decoder, TrailingSymbolOtherThanASwitchIsDropped) {
  V20Stream first;
  first.lzHeader();
  first.literals("ab");
  first.literal('c');  // beyond the size: decoded at the end and dropped
  EXPECT_EQ(decode(first, 2), text("ab"));
  V20Stream second = first;
  second.bits = BitWriter();
  second.literal('d');
  second.match(3, 3);  // the window holds "abd"; 'c' was never written
  EXPECT_EQ(decode(second, 4, true), text("dabd"));
}

TEST_F(V20Decoder, EmptyNonSolidFileStillReadsItsHeader) {
  V20Stream first;
  std::vector<uint8_t> m = V20Stream::flat(298, 9);
  m['e'] = 3;
  first.lzHeader(false, m);
  first.newTables();  // picked up by the trailing read
  std::vector<uint8_t> m2 = V20Stream::flat(298, 9);
  m2['f'] = 3;
  first.lzHeader(true, m2);
  EXPECT_EQ(decode(first, 0), Bytes());

  V20Stream second = first;
  second.bits = BitWriter();
  second.literals("ff");
  EXPECT_EQ(decode(second, 2, true), text("ff"));
}

TEST_F(V20Decoder, SolidFilesKeepHistoryAndAudioState) {
  V20Stream s;
  s.audioHeader(1);
  Bytes expected;
  for (int i = 0; i < 50; i++) {
    uint8_t b = (uint8_t)(i * 5);
    s.audioByte(b);
    expected.push_back(b);
  }
  EXPECT_EQ(decode(s, expected.size()), expected);
  // Same mode, same channel state: the next file goes straight on.
  V20Stream next = s;
  next.bits = BitWriter();
  Bytes expected2;
  for (int i = 50; i < 90; i++) {
    uint8_t b = (uint8_t)(i * 5);
    next.audioByte(b);
    expected2.push_back(b);
  }
  EXPECT_EQ(decode(next, expected2.size(), true), expected2);
}

TEST_F(V20Decoder, NonSolidFileForgetsTheEarlierOne) {
  V20Stream first;
  first.lzHeader();
  first.literals("abcdef");
  first.match(3, 6);
  EXPECT_EQ(decode(first, 9), text("abcdefabc"));
  V20Stream second;
  second.lzHeader();
  second.repeatLast();  // lastLength is 0 again: nothing
  second.literal('g');
  second.match(5, WindowSize - 1);  // window positions 2..6, where "cdefa" was
  second.literal('h');
  EXPECT_EQ(decode(second, 7), text("g") + zeros(5) + text("h"));
}

TEST_F(V20Decoder, TableHeadersAcrossManyRefills) {
  // Headers of about 240 bytes each, many refills of the input among them.
  V20Stream s;
  Bytes expected;
  for (int i = 0; i < 300; i++) {
    std::vector<uint8_t> m = V20Stream::flat(298, 9);
    m[i % 256] = 3;
    s.lzHeader(i % 2 == 1, m);
    s.literal((uint8_t)i);
    expected.push_back((uint8_t)i);
    s.newTables();
  }
  s.lzHeader();
  s.literals("end");
  expected = expected + text("end");
  ASSERT_GT(s.finish().size(), 8 * 8192u);
  EXPECT_EQ(decode(s, expected.size()), expected);
}

TEST_F(V20Decoder, StreamThatNeverProducesAnythingStillEnds) {
  // A main table with nothing but symbol 256: at a non-solid start every step copies
  // zero bytes. Once the packed data and a whole buffer of stale bytes are used up the
  // decoder gives up instead of spinning (practically) forever.
  V20Stream s;
  std::vector<uint8_t> m(298, 0);
  m[256] = 1;
  s.lzHeader(false, m, std::vector<uint8_t>(48, 0), std::vector<uint8_t>(28, 0));
  for (int i = 0; i < 100; i++) s.repeatLast();
  Bytes out = decode(s, 1000000);
  EXPECT_LT(out.size(), 100u) << out.size();
}

}  // namespace
