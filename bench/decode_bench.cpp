// Decoding throughput of the engine against zlib's inflate on the same inputs.
//
// For each sample (text, machine code, 16-bit stereo audio) the input is packed once
// with the engine's own version 2.0 compressor and once with zlib at level 9; the timed
// loops then decode it in memory: the engine through unpackFile with the CRC-32 of
// every produced byte (no output file), zlib through uncompress (which checks its own
// Adler-32). The stored path copies an entry through copyStored with its CRC-32, and is
// set against zlib inflating the same bytes stored (level 0). A summary at the end
// prints each pair and the ratio engine / zlib. The text and binary samples are also
// packed with the version 1.5 compressor ("text-1.5", "binary-1.5").
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

#include "archive/checksum.h"
#include "archive/data_stream.h"
#include "archive/reader.h"
#include "bench/bench_data.h"
#include "extract/session.h"
#include "pack/encode_v15.h"
#include "pack/encode_v20.h"
#include "unpack/unpack.h"

namespace {

const size_t SampleSize = 4u << 20;

struct Sample {
  std::vector<uint8_t> raw;
  std::vector<uint8_t> packed;  // the engine's format (v20) or the raw bytes (stored)
  std::vector<uint8_t> zlibPacked;
  uint32_t crc = 0;
  bool stored = false;
  int unpVer = 20;
};

std::vector<uint8_t> zlibCompress(const std::vector<uint8_t>& raw, int level) {
  uLongf size = compressBound((uLong)raw.size());
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, raw.data(), (uLong)raw.size(), level) != Z_OK) abort();
  out.resize(size);
  return out;
}

Sample& sample(const std::string& name) {
  static std::map<std::string, Sample> samples;
  auto found = samples.find(name);
  if (found != samples.end()) return found->second;
  Sample s;
  if (name == "text" || name == "text-1.5") s.raw = makeText(SampleSize);
  if (name == "binary" || name == "binary-1.5") s.raw = makeBinary(SampleSize);
  if (name == "audio") s.raw = makeWave(SampleSize);
  if (name == "stored") s.raw = makeNoise(SampleSize);
  s.stored = name == "stored";
  if (name.size() > 4 && name.compare(name.size() - 4, 4, "-1.5") == 0) {
    V15Encoder encoder;
    s.packed = encodeV15File(encoder, s.raw.data(), s.raw.size(), false);
    s.unpVer = 15;
  } else {
    s.packed = s.stored ? s.raw : encodeV20(s.raw.data(), s.raw.size());
  }
  s.zlibPacked = zlibCompress(s.raw, s.stored ? 0 : 9);
  s.crc = (uint32_t)crc32(0, s.raw.data(), (uInt)s.raw.size());
  return samples.emplace(name, std::move(s)).first->second;
}

void engineStart() {
  static bool started = false;
  if (started) return;
  started = true;
  buildCrcTable();
  session.window = (unsigned char*)calloc(WindowSize, 1);
}

// One entry decoded (or copied) in memory; returns the standard CRC-32 of its bytes.
uint32_t engineDecode(const Sample& s) {
  FILE* file = fmemopen((void*)s.packed.data(), s.packed.size(), "rb");
  archiveReader.archiveFile = file;
  dataStream.packedLeft = (uint32_t)s.packed.size();
  dataStream.continuesInNext = false;
  dataStream.cipherVersion = 0;
  dataStream.remaining = (int32_t)s.raw.size();
  dataStream.checksumMode = 2;
  dataStream.dataCrc = 0xFFFFFFFFu;
  session.testMode = true;
  session.skipChecksum = false;
  if (s.stored) {
    copyStored();
  } else {
    unpackFile(session.window, s.unpVer, false);
  }
  if (archiveReader.archiveFile != nullptr) fclose(archiveReader.archiveFile);
  archiveReader.archiveFile = nullptr;
  return ~dataStream.dataCrc;
}

void engineBench(benchmark::State& state, const char* name) {
  engineStart();
  Sample& s = sample(name);
  if (engineDecode(s) != s.crc) {
    state.SkipWithError("decoded bytes differ from the input");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(engineDecode(s));
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)s.raw.size());
  state.counters["packed%"] = 100.0 * (double)s.packed.size() / (double)s.raw.size();
}

void zlibBench(benchmark::State& state, const char* name) {
  Sample& s = sample(name);
  std::vector<uint8_t> out(s.raw.size());
  for (auto _ : state) {
    uLongf size = (uLongf)out.size();
    if (uncompress(out.data(), &size, s.zlibPacked.data(), (uLong)s.zlibPacked.size()) != Z_OK) {
      state.SkipWithError("zlib failed");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)s.raw.size());
  state.counters["packed%"] = 100.0 * (double)s.zlibPacked.size() / (double)s.raw.size();
}

// Console output as usual, then each engine / zlib pair side by side (the mean over
// --benchmark_repetitions when given).
struct PairReporter : benchmark::ConsoleReporter {
  std::map<std::string, double> rates;  // benchmark name -> sum of MB/s
  std::map<std::string, int> counts;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      auto c = run.counters.find("bytes_per_second");
      if (c == run.counters.end()) continue;
      rates[run.run_name.function_name] += c->second.value / 1e6;
      counts[run.run_name.function_name]++;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    printf("\n%-10s %14s %14s %8s\n", "sample", "engine MB/s", "zlib MB/s", "ratio");
    for (const char* name : {"text", "binary", "audio", "stored", "text-1.5", "binary-1.5"}) {
      auto engine = rates.find(std::string("engine/") + name);
      auto zlib = rates.find(std::string("zlib/") + name);
      if (engine == rates.end() || zlib == rates.end()) continue;
      double e = engine->second / counts[engine->first], z = zlib->second / counts[zlib->first];
      printf("%-10s %14.1f %14.1f %8.2f\n", name, e, z, e / z);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (const char* name : {"text", "binary", "audio", "stored", "text-1.5", "binary-1.5"}) {
    benchmark::RegisterBenchmark((std::string("engine/") + name).c_str(), engineBench, name)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("zlib/") + name).c_str(), zlibBench, name)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PairReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
