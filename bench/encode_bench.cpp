// Compression speed and ratio of the version 2.0 compressor against zlib level 9 on the
// same samples (text, machine code, 16-bit stereo audio, noise), 1 MiB each, at the
// default level and at levels 1 and 5; and the default level on 4 MiB of text with 1
// and 2 threads (wall-clock rates there). The counters give the packed size in percent
// of the input; other rates are per CPU second.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <vector>

#include "bench/bench_data.h"
#include "pack/encode_v20.h"
#include "pack/pack_levels.h"

namespace {

const size_t SampleSize = 1u << 20;

const std::vector<uint8_t>& sampleOf(int kind) {
  static std::vector<uint8_t> samples[4];
  std::vector<uint8_t>& s = samples[kind];
  if (s.empty()) {
    s = kind == 0 ? makeText(SampleSize) : kind == 1 ? makeBinary(SampleSize)
        : kind == 2 ? makeWave(SampleSize) : makeNoise(SampleSize);
  }
  return s;
}

void runV20(benchmark::State& state, const std::vector<uint8_t>& raw, const V20EncoderOptions& options) {
  size_t packed = 0;
  for (auto _ : state) packed = encodeV20(raw.data(), raw.size(), options).size();
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)raw.size());
  state.counters["packed%"] = 100.0 * (double)packed / (double)raw.size();
}

void packV20(benchmark::State& state, int kind, MultimediaMode mode, int level = DefaultPackLevel) {
  V20EncoderOptions options = v20LevelOptions(level);
  options.multimedia = mode;
  runV20(state, sampleOf(kind), options);
}

void packV20Threads(benchmark::State& state, int threads) {
  static const std::vector<uint8_t> raw = makeText(4 * SampleSize);
  V20EncoderOptions options = v20LevelOptions(DefaultPackLevel);
  options.threads = threads;
  runV20(state, raw, options);
}

void packZlib(benchmark::State& state, int kind) {
  const std::vector<uint8_t>& raw = sampleOf(kind);
  std::vector<uint8_t> out(compressBound((uLong)raw.size()));
  uLongf size = 0;
  for (auto _ : state) {
    size = (uLongf)out.size();
    compress2(out.data(), &size, raw.data(), (uLong)raw.size(), 9);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)raw.size());
  state.counters["packed%"] = 100.0 * (double)size / (double)raw.size();
}

}  // namespace

BENCHMARK_CAPTURE(packV20, text, 0, MultimediaMode::Auto)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packZlib, text, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, binary, 1, MultimediaMode::Auto)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packZlib, binary, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, audio, 2, MultimediaMode::Auto)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, audio_lz_only, 2, MultimediaMode::Off)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packZlib, audio, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, noise, 3, MultimediaMode::Auto)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packZlib, noise, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, text_level1, 0, MultimediaMode::Auto, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, text_level5, 0, MultimediaMode::Auto, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, binary_level1, 1, MultimediaMode::Auto, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20, binary_level5, 1, MultimediaMode::Auto, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packV20Threads, text_1_thread, 1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(packV20Threads, text_2_threads, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
