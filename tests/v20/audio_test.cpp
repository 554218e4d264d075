// The multimedia predictor: its edge cases worked out by hand, and the encoder's step
// mirroring the decoder's.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "tests/support/fake_host.h"
#include "unpack/audio.h"
#include "unpack/audio_sums.h"

namespace {

AudioChannelState freshChannel() {
  AudioChannelState st;
  memset(&st, 0, sizeof st);
  return st;
}

// Runs one byte through the channel the way the decoder does, with a private crossDelta.
uint8_t decodeOn(AudioChannelState* st, int32_t* crossDelta, uint32_t symbol) {
  audioStartByte(st);
  int predicted = audioPredict(st, *crossDelta);
  return audioUpdate(st, crossDelta, predicted, symbol);
}

TEST(AudioPredictor, FreshChannelNegatesTheSymbol) {
  for (uint32_t s : {0u, 1u, 127u, 128u, 200u, 255u}) {
    AudioChannelState st = freshChannel();
    int32_t cross = 0;
    EXPECT_EQ(decodeOn(&st, &cross, s), (256 - s) & 0xFF) << s;
    EXPECT_EQ(st.byteCounter, 1);
  }
}

TEST(AudioPredictor, DeltasAreSignedBytesAndShiftThroughTheTerms) {
  AudioChannelState st = freshChannel();
  int32_t cross = 0;
  EXPECT_EQ(decodeOn(&st, &cross, 56), 200);  // value -56, delta -56 (not 200)
  EXPECT_EQ(st.recentDelta, -56);
  EXPECT_EQ(cross, -56);
  decodeOn(&st, &cross, 0);
  EXPECT_EQ(st.terms[0], -56);
  EXPECT_EQ(st.terms[1], -56);
  decodeOn(&st, &cross, 0);
  // The second byte repeated the predicted value: delta 0, change +56.
  EXPECT_EQ(st.terms[0], 0);
  EXPECT_EQ(st.terms[1], 56);
  EXPECT_EQ(st.terms[2], -56);
  EXPECT_EQ(st.terms[3], 0);
}

TEST(AudioPredictor, ThirtySecondByteUsesOldWeightsAndCountsItsOwnErrors) {
  AudioChannelState st = freshChannel();
  st.byteCounter = 31;
  st.prevValue = 100;
  st.recentDelta = 10;  // terms become 10, 10, 0, 0
  st.weights[0] = 4;
  for (uint32_t& sum : st.errorSums) sum = 100;  // a tie until this byte's errors land
  int32_t cross = 0;
  // p = 800 + 4 * 10 = 840 -> 105; minus symbol 1 gives 104. With the adjusted weight 3
  // it would be 102.
  EXPECT_EQ(decodeOn(&st, &cross, 1), 104);
  // e = 8: sums 1 and 3 grew least (|8 - 10| = 2); the lower index wins and lowers
  // weights[0].
  EXPECT_EQ(st.weights[0], 3);
  EXPECT_EQ(st.weights[1], 0);
  for (uint32_t sum : st.errorSums) EXPECT_EQ(sum, 0u);
}

TEST(AudioPredictor, AdjustsOnlyOnEveryThirtySecondByteOfTheChannel) {
  AudioChannelState st = freshChannel();
  int32_t cross = 0;
  // Symbol 8 gives every byte an error of 64, so the sums are never zero except right
  // after an adjustment.
  for (int i = 1; i <= 64; i++) {
    decodeOn(&st, &cross, 8);
    bool cleared = true;
    for (uint32_t sum : st.errorSums) cleared = cleared && sum == 0;
    EXPECT_EQ(cleared, i % 32 == 0) << "byte " << i;
  }
}

TEST(AudioPredictor, TiesGoToTheLowestIndex) {
  // All inputs zero: every sum grows by the same |e|, so sum 0 ties with all and no
  // weight moves.
  AudioChannelState st = freshChannel();
  st.byteCounter = 31;
  st.weights[2] = 5;
  int32_t cross = 0;
  decodeOn(&st, &cross, 3);
  EXPECT_EQ(st.weights[0], 0);
  EXPECT_EQ(st.weights[1], 0);
  EXPECT_EQ(st.weights[2], 5);
  EXPECT_EQ(st.weights[4], 0);

  // A tie between sums 3 and 4 without sum 0: 3 wins, weights[1] falls.
  st = freshChannel();
  st.byteCounter = 31;
  for (uint32_t& sum : st.errorSums) sum = 1000;
  st.errorSums[3] = 5;
  st.errorSums[4] = 5;
  cross = 0;
  decodeOn(&st, &cross, 0);
  EXPECT_EQ(st.weights[1], -1);
}

TEST(AudioPredictor, WeightBoundsAreAsymmetric) {
  struct Case {
    int weightIndex;
    int32_t before;
    int winningSum;
    int32_t after;
  } cases[] = {
      {0, -17, 1, -17},  // at the floor: not lowered further
      {0, -16, 1, -17},  // -16 may still fall to -17
      {0, -17, 2, -16},  // the floor can rise
      {0, 16, 2, 16},    // at the ceiling: not raised further
      {0, 15, 2, 16},
      {4, -17, 9, -17},  // the crossDelta weight obeys the same bounds
      {4, 16, 10, 16},
      {3, 16, 7, 15},
  };
  for (const Case& c : cases) {
    AudioChannelState st = freshChannel();
    st.byteCounter = 31;
    st.weights[c.weightIndex] = c.before;
    for (uint32_t& sum : st.errorSums) sum = 1000;
    st.errorSums[c.winningSum] = 0;
    int32_t cross = 0;
    decodeOn(&st, &cross, 0);  // e = 0 with all inputs 0: adds nothing anywhere
    EXPECT_EQ(st.weights[c.weightIndex], c.after)
        << "weight " << c.weightIndex << " from " << c.before << " by sum " << c.winningSum;
  }
}

TEST(AudioPredictor, TwoChannelsFeedEachOtherThroughCrossDelta) {
  resetEngineAndHost();
  V20State* v = &unpackState.v20;
  v->channelCount = 2;
  v->audio[0].weights[4] = 8;  // the prediction adds the other channel's delta
  v->audio[1].weights[4] = 8;

  v->currentChannel = 0;
  EXPECT_EQ(decodeAudioByte(246), 10);  // fresh: 0 - 246
  EXPECT_EQ(v->crossDelta, 10);
  v->currentChannel = 1;
  // Channel 1 is fresh, but predicts 0 + channel 0's delta 10; symbol 3 gives 7.
  EXPECT_EQ(decodeAudioByte(3), 7);
  EXPECT_EQ(v->crossDelta, 7);
  v->currentChannel = 0;
  // Channel 0: previous value -246 (byte 10) plus channel 1's delta 7 gives 17; the
  // negative prediction sum must shift arithmetically for this to come out right.
  EXPECT_EQ(decodeAudioByte(0), 17);
  EXPECT_EQ(v->audio[0].byteCounter, 2);
  EXPECT_EQ(v->audio[1].byteCounter, 1);
}

// A cycle's winning sum, from its definition: sum 0 adds |e|, sums 2i + 1 and 2i + 2
// add |e - input i| and |e + input i|, the lowest index wins a tie.
uint32_t bestSumByDefinition(const int16_t* words) {
  const int16_t* d = words + AudioBatchDelta;
  uint64_t sums[11] = {0};
  for (int k = 0; k < AudioCycleBytes; k++) {
    int64_t e = 8 * (int8_t)(uint8_t)words[AudioBatchSymbol + k];
    int64_t inputs[5] = {d[k + 3], d[k + 3] - d[k + 2], d[k + 2] - d[k + 1], d[k + 1] - d[k],
                         words[AudioBatchCross + k]};
    sums[0] += (uint64_t)llabs(e);
    for (int i = 0; i < 5; i++) {
      sums[1 + 2 * i] += (uint64_t)llabs(e - inputs[i]);
      sums[2 + 2 * i] += (uint64_t)llabs(e + inputs[i]);
    }
  }
  uint32_t best = 0;
  for (uint32_t i = 1; i < 11; i++)
    if (sums[i] < sums[best]) best = i;
  return best;
}

TEST(AudioPredictor, CycleSumsPickTheSameWinnerInVectorsAndPlainly) {
  // Random cycles, and cycles at the extremes, where a 16-bit lane sum comes nearest to
  // wrapping (symbol 128 gives e = -1024; deltas swing between -128 and 127) or every
  // sum ties.
  std::mt19937 random(32);
  for (int round = 0; round < 3000; round++) {
    AudioBatch batch;
    for (int w = 0; w < AudioBatchWords; w++) {
      bool delta = w >= AudioBatchDelta;
      int kind = round % 5;
      int value = kind == 0 ? 0 : kind == 1 ? (w % 2 ? 127 : -128) : (int)(random() % 256) - 128;
      batch.words[w] = (int16_t)(delta || w >= AudioBatchCross ? value : (kind == 1 ? 128 : value & 0xFF));
    }
    uint32_t expected = bestSumByDefinition(batch.words);
    for (int vectors : {1, 0}) {
      audioSumsInVectors = vectors;
      EXPECT_EQ(bestCycleSum(batch.words), expected) << "round " << round << ", vectors " << vectors;
    }
  }
  audioSumsInVectors = 1;
}

TEST(AudioPredictor, EncoderStepInvertsTheDecoder) {
  resetEngineAndHost();
  // A few tones of different steepness on three channels, long enough for many
  // weight adjustments.
  const int channels = 3;
  std::vector<uint8_t> signal;
  for (int i = 0; i < 3000; i++) {
    int c = i % channels;
    int t = i / channels;
    signal.push_back((uint8_t)(128 + ((t * (c + 1) * 7) % 90) - (t % 13) * c));
  }
  AudioChannelState enc[channels];
  memset(enc, 0, sizeof enc);
  int32_t encCross = 0;
  V20State* v = &unpackState.v20;
  v->channelCount = channels;
  bool weightsMoved = false;
  for (size_t i = 0; i < signal.size(); i++) {
    int c = (int)(i % channels);
    uint32_t symbol = audioEncodeByte(&enc[c], &encCross, signal[i]);
    ASSERT_LT(symbol, 256u);
    v->currentChannel = c;
    ASSERT_EQ(decodeAudioByte(symbol), signal[i]) << "byte " << i;
    ASSERT_EQ(memcmp(&enc[c], &v->audio[c], sizeof enc[c]), 0) << "byte " << i;
    ASSERT_EQ(encCross, v->crossDelta);
    for (int w : enc[c].weights) weightsMoved = weightsMoved || w != 0;
  }
  EXPECT_TRUE(weightsMoved);
}

}  // namespace
