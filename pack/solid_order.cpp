#include "pack/solid_order.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <thread>
#include <unordered_map>

#include "pack/walked_file.h"

namespace {

enum : uint32_t {
  // The start of a file says what it is; reading more would only read every input
  // twice.
  SampledBytesPerFile = 1u << 20,
  // A string in this many files or more (padding, a licence, a common header) tells
  // nothing about which of them belong together.
  CommonStringFiles = 33,
  // Sampled strings two files must share before one is taken after the other; about
  // 320 bytes of common content, below which the walk's order is as good a guess.
  LeastSharedStrings = 10,
  // Files are chained in runs, so time and memory stay bounded for any input.
  RunFiles = 16384,
};
constexpr uint64_t RunSampledBytes = 64ull << 20;  // about 24 MiB of samples

// Keys of the strings sampled from one file, each with the file's index in its low
// 32 bits. An 8-byte string is sampled when its hash has its top five bits clear:
// one in 32, chosen by content, so a string two files share is sampled in both.
void sampleFile(const InputEntry& input, uint32_t index, std::vector<uint8_t>& buffer,
                std::vector<uint64_t>* keyed) {
  // Too short to hold enough strings to follow another file: not worth an open.
  if (input.size < LeastSharedStrings + 7) return;
  FILE* file = openWalkedFile(input);
  if (file == nullptr) return;
  size_t length = fread(buffer.data(), 1, (size_t)std::min<uint64_t>(input.size, buffer.size()), file);
  fclose(file);
  // Stored without a branch into a small block, then appended: with a branch, every
  // sampled position would cost a misprediction.
  uint64_t block[4096];
  const uint64_t tag = index;
  for (size_t from = 0; from + 8 <= length; from += 4096) {
    size_t to = std::min(from + 4096, length - 7);
    uint64_t* out = block;
    for (size_t i = from; i < to; i++) {
      uint64_t word;
      memcpy(&word, &buffer[i], 8);
      uint64_t hash = word * 0x9E3779B97F4A7C15ull;  // its top bits depend on every byte
      *out = (hash >> 27) << 32 | tag;
      out += hash >> 59 == 0;
    }
    // A run of one repeated byte (zero padding above all) samples every position of
    // it: kept once, it costs no memory.
    out = std::unique(block, out);
    keyed->insert(keyed->end(), block, out);
  }
}

// Sorts by the upper 32 bits, keeping the order of equal keys: three passes of
// 11-bit digits, several times faster than a comparison sort of millions of keys.
void sortByKey(std::vector<uint64_t>& keyed) {
  std::vector<uint64_t> other(keyed.size());
  for (int shift = 32; shift < 64; shift += 11) {
    size_t start[2048] = {};
    for (uint64_t k : keyed) start[k >> shift & 2047]++;
    size_t at = 0;
    for (size_t& s : start) {
      size_t n = s;
      s = at;
      at += n;
    }
    for (uint64_t k : keyed) other[start[k >> shift & 2047]++] = k;
    keyed.swap(other);
  }
}

// Samples files[begin, end) on up to `threads` threads, each taking a slice of about
// equal bytes; the keys come out in file order all the same.
std::vector<uint64_t> sampleFiles(const std::vector<InputEntry>& files, size_t begin, size_t end, int threads) {
  uint64_t total = 0, largest = 0;
  for (size_t i = begin; i < end; i++) {
    total += std::min<uint64_t>(files[i].size, SampledBytesPerFile);
    largest = std::max(largest, std::min<uint64_t>(files[i].size, SampledBytesPerFile));
  }
  threads = (int)std::max<uint64_t>(1, std::min<uint64_t>({(uint64_t)threads, 8, total >> 20}));
  std::vector<std::vector<uint64_t>> slices((size_t)threads);
  auto sampleSlice = [&](int slice) {
    // The slice's files: those whose first sampled byte falls in its share of the total.
    uint64_t from = total * (uint64_t)slice / (uint64_t)threads, to = total * (uint64_t)(slice + 1) / (uint64_t)threads;
    std::vector<uint8_t> buffer((size_t)largest);  // a folder of small files needs no MiB
    std::vector<uint64_t>& keyed = slices[(size_t)slice];
    keyed.reserve((to - from) / 28);  // one in 32, and a little over
    uint64_t at = 0;
    for (size_t i = begin; i < end && at < to; i++) {
      if (at >= from) sampleFile(files[i], (uint32_t)(i - begin), buffer, &keyed);
      at += std::min<uint64_t>(files[i].size, SampledBytesPerFile);
    }
  };
  std::vector<std::thread> helpers;
  for (int slice = 1; slice < threads; slice++) helpers.emplace_back(sampleSlice, slice);
  sampleSlice(0);
  for (std::thread& t : helpers) t.join();
  std::vector<uint64_t> keyed = std::move(slices[0]);
  for (size_t slice = 1; slice < slices.size(); slice++) keyed.insert(keyed.end(), slices[slice].begin(), slices[slice].end());
  return keyed;
}

// The chain over files[begin, end): indices relative to begin.
std::vector<uint32_t> chainByLikeness(const std::vector<InputEntry>& files, size_t begin, size_t end, int threads) {
  uint32_t count = (uint32_t)(end - begin);
  if (count == 1) return {0};  // nothing to choose, nothing to read
  std::vector<uint64_t> keyed = sampleFiles(files, begin, end, threads);
  sortByKey(keyed);  // a file's copies of a string end up side by side: files are sampled in order
  keyed.erase(std::unique(keyed.begin(), keyed.end()), keyed.end());  // once per file

  // Per file: where each of its strings that other files share starts in keyed.
  auto key = [&](size_t at) { return keyed[at] >> 32; };
  std::vector<std::vector<uint32_t>> sharedStrings(count);
  for (size_t at = 0; at < keyed.size();) {
    size_t stop = at + 1;
    while (stop < keyed.size() && key(stop) == key(at)) stop++;
    if (stop - at >= 2 && stop - at < CommonStringFiles)
      for (size_t k = at; k < stop; k++) sharedStrings[(uint32_t)keyed[k]].push_back((uint32_t)at);
    at = stop;
  }

  std::vector<uint32_t> chain;
  chain.reserve(count);
  std::vector<bool> placed(count);
  std::vector<uint32_t> shared(count), met;
  uint32_t nextInOrder = 0;
  for (uint32_t step = 0; step < count; step++) {
    uint32_t pick = UINT32_MAX, most = 0;
    if (step > 0) {
      for (uint32_t at : sharedStrings[chain.back()])
        for (size_t k = at; k < keyed.size() && key(k) == key(at); k++) {
          uint32_t file = (uint32_t)keyed[k];
          if (!placed[file] && shared[file]++ == 0) met.push_back(file);
        }
      for (uint32_t file : met) {
        if (shared[file] >= LeastSharedStrings && (shared[file] > most || (shared[file] == most && file < pick))) {
          most = shared[file];
          pick = file;
        }
        shared[file] = 0;
      }
      met.clear();
    }
    if (pick == UINT32_MAX) {
      while (placed[nextInOrder]) nextInOrder++;
      pick = nextInOrder;
    }
    placed[pick] = true;
    chain.push_back(pick);
  }
  return chain;
}

}  // namespace

void orderForSolidPacking(std::vector<InputEntry>& entries, int threads) {
  std::vector<InputEntry> ordered;
  // Files by folder, the folders in the order the walk first meets their files.
  std::vector<std::vector<InputEntry>> folders;
  std::unordered_map<std::string, size_t> folderIndex;
  for (InputEntry& e : entries) {
    if (e.directory) {
      ordered.push_back(std::move(e));
      continue;
    }
    size_t cut = e.archiveName.rfind('\\');
    auto found = folderIndex.emplace(cut == std::string::npos ? std::string() : e.archiveName.substr(0, cut),
                                     folders.size());
    if (found.second) folders.emplace_back();
    folders[found.first->second].push_back(std::move(e));
  }
  for (std::vector<InputEntry>& files : folders) {
    for (size_t begin = 0; begin < files.size();) {
      size_t end = begin;
      uint64_t sampled = 0;
      while (end < files.size() && end - begin < RunFiles) {
        uint64_t bytes = std::min<uint64_t>(files[end].size, SampledBytesPerFile);
        if (end > begin && sampled + bytes > RunSampledBytes) break;
        sampled += bytes;
        end++;
      }
      for (uint32_t i : chainByLikeness(files, begin, end, threads)) ordered.push_back(std::move(files[begin + i]));
      begin = end;
    }
  }
  entries = std::move(ordered);
}
