#include "pack/encode_v20.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "pack/bit_output.h"
#include "pack/encode_v20_block.h"
#include "pack/encode_v20_header.h"
#include "pack/encode_v20_merge.h"
#include "pack/encode_v20_parse.h"
#include "pack/huffman_encoder.h"
#include "unpack/audio.h"

namespace {

// Everything of the decoder's state that decides how the next symbols decode, but the
// match history, which every piece starts afresh. The encoder advances it exactly as
// the decoder will.
struct Mirror {
  uint8_t previousLengths[PreviousLengthsSize];
  bool haveTables;  // a header was read since the last non-solid start
  bool audioMode;
  int channelCount;
  int currentChannel;
  AudioChannelState audio[MaxChannels];
  int32_t crossDelta;
  uint8_t lzLengths[LzTableSize];  // main, distance, repeat length: the header's order
  uint8_t audioLengths[PreviousLengthsSize];
};

struct StreamState {
  Mirror m;
  bool hasPending = false;
  BitOutput pending;  // previous file's stream, open for a table switch
  bool closedValid = false;
  std::vector<uint8_t> closed;  // the rest of the previous file's stream, now final
  BitOutput current;            // the current file's bytes not handed out yet
};

void resetMirror(Mirror& m) { memset(&m, 0, sizeof m); }

uint32_t entropyBits(const uint32_t* counts, int n) {
  double total = 0, bits = 0;
  for (int i = 0; i < n; i++) total += counts[i];
  for (int i = 0; i < n; i++)
    if (counts[i]) bits -= counts[i] * log2(counts[i] / total);
  return (uint32_t)bits;
}

// Collects streams into a queue when no sink is given.
struct QueueSink : PackedSink {
  std::deque<std::vector<uint8_t>>* queue;
  std::vector<uint8_t> stream;
  void write(const uint8_t* bytes, size_t count) override { stream.insert(stream.end(), bytes, bytes + count); }
  void endStream() override {
    queue->push_back(std::move(stream));
    stream.clear();
  }
};

const uint32_t SampleBytes = 65536;
const size_t MaxPieceFiles = 1024;

struct PieceRange {
  uint32_t start, stop;  // in the buffer
  uint32_t history;      // matches never reach before this
  std::vector<uint32_t> fileStarts;  // files that begin inside
  std::vector<uint32_t> historyRestarts;  // those of them after a file that may be sound
  std::vector<Block> blocks;
};

}  // namespace

struct V20EncoderImpl {
  V20EncoderOptions options;
  LzParseOptions lz;
  StreamState st;
  QueueSink queue;
  PackedSink* sink = &queue;
  std::vector<std::unique_ptr<PieceParser>> parsers;  // one per thread, made when needed

  // The bytes from stream position bufferBase on: the window before `coded` and what
  // is not coded yet. Positions count every byte fed since the encoder was made.
  std::vector<uint8_t> buffer;
  uint64_t bufferBase = 0;
  uint64_t coded = 0;        // bytes before this are coded
  uint64_t parsed = 0;       // bytes before this are parsed: coded, or in `ready`
  std::vector<PieceRange> ready;  // parsed pieces waiting to be coded, in order
  uint64_t historyFrom = 0;  // matches never reach before this: the non-solid start
  uint64_t fileStart = 0;
  bool solidFile = false;    // the file being coded continues the stream
  int channels = 0;          // audio channels of the file being coded

  explicit V20EncoderImpl(const V20EncoderOptions& o) : options(o) {
    lz.optimal = o.optimalParsing;
    lz.maxChain = o.maxChain;
    lz.niceLength = o.niceLength;
    lz.goodLength = o.goodLength;
    lz.guideChain = o.guideChain;
    lz.matchLiteralRepeat = o.matchLiteralRepeat;
    lz.arrivals = o.arrivals;
    lz.takeLength = o.takeLength;
    lz.skipLength = o.skipLength;
    lz.lazyLength = o.lazyLength;
    lz.blockSymbols = o.blockSymbols;
    lz.chooseBlocks = o.chooseBlocks;
    lz.guidePasses = o.guidePasses;
    options.threads = std::max(1, std::min<int>(options.threads, MaxEncoderThreads));
    if (options.pieceBytes < 1) options.pieceBytes = 1;
    resetMirror(st.m);
  }

  uint64_t end() const { return bufferBase + buffer.size(); }
  // Pieces parsed together: one per thread, while the batch before is coded.
  size_t batchPieces() const { return (size_t)options.threads; }

  // ---- audio parsing ----

  void parseAudio(StreamState& s, Block& b, uint32_t& pos, uint32_t stop, int channels) {
    b.audio = true;
    b.channels = channels;
    b.switchChannel = s.m.currentChannel;
    // A header with fewer channels than the current one restarts the rotation. When no
    // header is sent the channel count is unchanged and so is the rotation.
    int ch = s.m.currentChannel >= channels ? 0 : s.m.currentChannel;
    const uint8_t* data = buffer.data();
    uint32_t end = stop - pos >= options.audioBlockBytes + options.audioBlockBytes / 2
                       ? pos + options.audioBlockBytes
                       : stop;
    b.audioSymbols.reserve(end - pos);
    b.audioCount.assign((size_t)channels * AudioSymbols, 0);
    for (; pos < end; pos++) {
      uint32_t symbol = audioEncodeByte(&s.m.audio[ch], &s.m.crossDelta, data[pos]);
      b.audioSymbols.push_back((uint16_t)(ch << 8 | symbol));
      b.audioCount[ch * AudioSymbols + symbol]++;
      if (++ch == channels) ch = 0;
    }
    s.m.currentChannel = ch;
  }


  // ---- tables and emission ----

  static uint64_t blockBits(const Block& b, const uint8_t* lengths) {
    return b.audio ? audioCodedBits(b.audioCount.data(), b.channels, lengths) : lzCodedBits(b.counts, lengths);
  }

  // The symbol that announces a new header, coded with the tables now in force.
  static void writeSwitch(BitOutput& out, const Mirror& m, int channel) {
    const uint8_t* lengths = m.audioMode ? m.audioLengths + channel * AudioSymbols : m.lzLengths;
    int count = m.audioMode ? AudioSymbols : MainSymbols;
    uint32_t symbol = m.audioMode ? SymAudioTables : SymTables;
    uint16_t codes[MainSymbols];
    assignCanonicalCodes(lengths, count, codes);
    out.put(codes[symbol], lengths[symbol]);
  }

  static uint32_t switchBits(const Mirror& m, int channel) {
    return m.audioMode ? m.audioLengths[channel * AudioSymbols + SymAudioTables] : m.lzLengths[SymTables];
  }

  // Ends a stream that carries no switch. The decoder reads one symbol past a file's
  // last one when at least 5 bytes follow (cipher padding can provide them); this
  // symbol makes sure that read finds no switch.
  static void writeHarmless(BitOutput& out, const Mirror& m, int channel) {
    const uint8_t* lengths = m.audioMode ? m.audioLengths + channel * AudioSymbols : m.lzLengths;
    int count = m.audioMode ? AudioSymbols : MainSymbols;
    uint32_t avoid = m.audioMode ? SymAudioTables : SymTables;
    int pick = -1;
    for (int i = 0; i < count; i++)
      if (i != (int)avoid && lengths[i] != 0 && (pick < 0 || lengths[i] < lengths[pick])) pick = i;
    if (pick < 0) return;
    uint16_t codes[MainSymbols];
    assignCanonicalCodes(lengths, count, codes);
    out.put(codes[pick], lengths[pick]);
  }

  void closePending(StreamState& s) {
    if (!s.hasPending) return;
    if (s.pending.bitCount() > 0 && s.m.haveTables) writeHarmless(s.pending, s.m, s.m.currentChannel);
    s.closed = s.pending.finish();
    s.closedValid = true;
    s.hasPending = false;
    s.pending = BitOutput();
  }


  void emitBlock(StreamState& s, Block& b, bool first, bool solid) {
    bool startOfStream = first && !solid;
    uint64_t reuse = UINT64_MAX;
    if (!startOfStream && s.m.haveTables && s.m.audioMode == b.audio &&
        (!b.audio || s.m.channelCount == b.channels))
      reuse = blockBits(b, b.audio ? s.m.audioLengths : s.m.lzLengths);
    bool needHeader = !b.sharesTables || reuse == UINT64_MAX;
    uint8_t lengths[PreviousLengthsSize];
    int size = b.audio ? b.channels * AudioSymbols : LzTableSize;
    TableHeaderPlan plan;
    if (needHeader) {
      blockCodeLengths(b, lengths);
      plan = planTableHeader(lengths, size, s.m.previousLengths, b.audio ? b.channels : 0);
      if (reuse != UINT64_MAX)
        needHeader = blockBits(b, lengths) + plan.bits + switchBits(s.m, b.switchChannel) < reuse;
    }
    BitOutput& headerOut = (first && solid && s.hasPending) ? s.pending : s.current;
    if (needHeader) {
      if (!startOfStream) writeSwitch(headerOut, s.m, b.switchChannel);
      writeTableHeader(headerOut, plan, b.audio ? b.channels : 0);
      if (!plan.keep) memset(s.m.previousLengths, 0, sizeof s.m.previousLengths);
      memcpy(s.m.previousLengths, lengths, size);
      s.m.audioMode = b.audio;
      if (b.audio) {
        s.m.channelCount = b.channels;
        memcpy(s.m.audioLengths, lengths, size);
      } else {
        memcpy(s.m.lzLengths, lengths, size);
      }
      s.m.haveTables = true;
    }
    if (first && solid && s.hasPending) {
      // The pending stream ends here; without a switch it ends harmlessly.
      if (!needHeader && s.pending.bitCount() > 0) writeHarmless(s.pending, s.m, b.switchChannel);
      s.closed = s.pending.finish();
      s.closedValid = true;
      s.hasPending = false;
      s.pending = BitOutput();
    }
    BitOutput& out = s.current;
    if (b.audio) {
      uint16_t codes[MaxChannels][AudioSymbols];
      for (int c = 0; c < b.channels; c++)
        assignCanonicalCodes(s.m.audioLengths + c * AudioSymbols, AudioSymbols, codes[c]);
      for (uint16_t a : b.audioSymbols) {
        int c = a >> 8, symbol = a & 0xFF;
        out.put(codes[c][symbol], s.m.audioLengths[c * AudioSymbols + symbol]);
      }
    } else {
      const uint8_t* mainLengths = s.m.lzLengths;
      const uint8_t* distanceLengths = s.m.lzLengths + MainSymbols;
      const uint8_t* repeatLengths = distanceLengths + DistanceSymbols;
      uint16_t mainCodes[MainSymbols], distanceCodes[DistanceSymbols], repeatCodes[RepeatLengthSymbols];
      assignCanonicalCodes(mainLengths, MainSymbols, mainCodes);
      assignCanonicalCodes(distanceLengths, DistanceSymbols, distanceCodes);
      assignCanonicalCodes(repeatLengths, RepeatLengthSymbols, repeatCodes);
      for (const Token& t : b.tokens) {
        out.put(mainCodes[t.symbol], mainLengths[t.symbol]);
        if (t.symbol < SymRepeatLast) continue;
        if (t.symbol >= SymMatch) {
          out.put(t.extra1, lengthExtraBits[t.symbol - SymMatch]);
          out.put(distanceCodes[t.slot], distanceLengths[t.slot]);
          out.put(t.extra2, distanceExtraBits[t.slot]);
        } else if (t.symbol >= SymShort) {
          out.put(t.extra1, shortDistanceExtraBits[t.symbol - SymShort]);
        } else if (t.symbol >= SymHistory) {
          out.put(repeatCodes[t.slot], repeatLengths[t.slot]);
          out.put(t.extra1, lengthExtraBits[t.slot]);
        }
      }
    }
  }


  // Hands out every byte that is final: the rest of a closed stream and its end, then
  // the finished bytes of the current one.
  void drain(StreamState& s) {
    if (s.closedValid) {
      if (!s.closed.empty()) sink->write(s.closed.data(), s.closed.size());
      sink->endStream();
      s.closed.clear();
      s.closedValid = false;
    }
    if (!s.current.bytes.empty()) {
      sink->write(s.current.bytes.data(), s.current.bytes.size());
      s.current.bytes.clear();
    }
  }

  void emitLz(StreamState& s, Block* blocks, size_t count, bool first) {
    for (size_t i = 0; i < count; i++) {
      blocks[i].switchChannel = s.m.currentChannel;
      emitBlock(s, blocks[i], first && i == 0, solidFile);
    }
  }

  // Sound is parsed in short blocks, and neighbours are joined where one table serves
  // them for fewer bits than a table each: its character changes at no fixed pace.
  // Joined a run of audioJoinBlocks at a time, so that time and memory stay bounded.
  void emitAudio(StreamState& s, uint32_t pos, uint32_t stop, bool first) {
    std::vector<Block> blocks;
    while (pos < stop) {
      blocks.clear();
      while (pos < stop && blocks.size() < options.audioJoinBlocks) {
        blocks.emplace_back();
        parseAudio(s, blocks.back(), pos, stop, channels);
      }
      mergeAudioBlocksByCost(blocks, 0, blocks.size());
      for (Block& b : blocks) {
        emitBlock(s, b, first, solidFile);
        first = false;
      }
    }
  }

  // The channel count (1..4) whose predictor leaves the least entropy on a sample.
  int estimateChannels(uint32_t start, uint32_t end) {
    const uint8_t* data = buffer.data();
    int best = 1;
    uint64_t bestBits = UINT64_MAX;
    for (int n = 1; n <= MaxChannels; n++) {
      AudioChannelState states[MaxChannels];
      memcpy(states, st.m.audio, sizeof states);
      int32_t cross = st.m.crossDelta;
      static uint32_t counts[MaxChannels][256];
      memset(counts, 0, sizeof counts);
      int ch = 0;
      for (uint32_t p = start; p < end; p++) {
        counts[ch][audioEncodeByte(&states[ch], &cross, data[p])]++;
        if (++ch == n) ch = 0;
      }
      uint64_t bits = 0;
      for (int c = 0; c < n; c++) bits += entropyBits(counts[c], 256) + 257 * 4;
      if (bits < bestBits) {
        bestBits = bits;
        best = n;
      }
    }
    return best;
  }


  static uint64_t totalBits(const StreamState& s) {
    return (s.closedValid ? (uint64_t)s.closed.size() * 8 : 0) + s.pending.bitCount() +
           s.current.bitCount();
  }

  // ---- files and pieces ----

  // A file whose stream is not finished yet.
  struct FileMark {
    uint64_t start = 0, end = 0;  // end is known once the file has ended
    bool ended = false;
    bool solid = false;
    bool begun = false;   // its stream has started
    bool empty = true;    // no block of it coded yet
    int channels = -1;    // audio channels; -1: not decided yet
    bool usedAudio = false;
  };
  std::deque<FileMark> files;
  uint64_t runStart = 0;  // pieces are cut every pieceBytes from here
  int filesBegun = 0;
  std::vector<bool> finishedAudio;

  // Whether a file is sound is told from its first SampleBytes (all of a shorter one),
  // which codePieces makes sure are fed before the file's first piece is coded.
  uint32_t sampleSize(const FileMark& f) const {
    return (uint32_t)std::min<uint64_t>(f.ended ? f.end - f.start : SampleBytes, SampleBytes);
  }

  void decideChannels(FileMark& f) {
    if (f.channels >= 0) return;
    f.channels = 0;
    uint32_t from = (uint32_t)(f.start - bufferBase);
    uint32_t size = sampleSize(f);
    if (options.multimedia == MultimediaMode::Off || size == 0) return;
    f.channels = detectMultimediaChannels(buffer.data() + from, size);
    if (f.channels == 0 && options.multimedia == MultimediaMode::On) f.channels = estimateChannels(from, from + size);
  }

  // Whether a file may be coded with audio blocks, told before the files before it are
  // coded (from its header only, so that nothing depends on how far coding has got).
  bool maySound(const FileMark& f) const {
    if (options.multimedia != MultimediaMode::Auto) return options.multimedia == MultimediaMode::On;
    if (f.channels >= 0) return f.channels > 0;
    uint32_t size = sampleSize(f);
    return size > 0 && detectMultimediaChannels(buffer.data() + (f.start - bufferBase), size) > 0;
  }

  void startStream(FileMark& f) {
    if (!f.solid) {
      closePending(st);
      resetMirror(st.m);
    }
    solidFile = f.solid;
    f.begun = true;
  }

  void endStream(FileMark& f) {
    if (f.empty) {
      if (!f.solid) {
        Block b;
        b.switchChannel = st.m.currentChannel;
        emitBlock(st, b, true, false);
      } else {
        closePending(st);
      }
    }
    drain(st);
    st.pending = std::move(st.current);
    st.current = BitOutput();
    st.hasPending = true;
    finishedAudio.push_back(f.usedAudio);
  }

  // Ends the streams of the files that end at or before pos.
  void settleFiles(uint64_t pos) {
    while (!files.empty() && files.front().ended && files.front().end <= pos) {
      FileMark& f = files.front();
      if (!f.begun) startStream(f);
      endStream(f);
      files.pop_front();
    }
  }

  // Codes the blocks of one file's stretch: as LZ blocks, or for sound as audio blocks
  // when those come out smaller from the same state.
  void emitStretch(FileMark& f, Block* blocks, size_t count) {
    uint32_t start = blocks[0].start, stop = blocks[count - 1].stop;
    decideChannels(f);
    channels = f.channels;
    bool first = f.empty;
    if (channels > 0) {
      StreamState lzState = st;
      emitAudio(st, start, stop, first);
      emitLz(lzState, blocks, count, first);
      if (totalBits(lzState) <= totalBits(st))
        st = std::move(lzState);
      else
        f.usedAudio = true;
    } else {
      emitLz(st, blocks, count, first);
    }
    f.empty = false;
    drain(st);
  }

  void emitPiece(PieceRange& piece) {
    std::vector<Block>& blocks = piece.blocks;
    for (size_t i = 0; i < blocks.size();) {
      settleFiles(bufferBase + blocks[i].start);
      FileMark& f = files.front();
      if (!f.begun) startStream(f);
      uint64_t fileEnd = f.ended ? f.end : end();
      size_t j = i;
      while (j < blocks.size() && bufferBase + blocks[j].start < fileEnd) j++;
      emitStretch(f, blocks.data() + i, j - i);
      i = j;
    }
    settleFiles(bufferBase + piece.stop);
    if (options.onProgress && !files.empty() && files.back().start < bufferBase + piece.stop)
      options.onProgress(bufferBase + piece.stop - files.back().start);
  }

  // The next whole pieces after the parsed ones, and with `all` the last short one too.
  // Pieces are cut every pieceBytes from the start of the run, and before a piece's
  // MaxPieceFiles + 1st file, so the same input always gives the same pieces whatever
  // the batch.
  std::vector<PieceRange> nextBatch(bool all) {
    std::vector<PieceRange> batch;
    uint32_t history = historyFrom > bufferBase ? (uint32_t)(historyFrom - bufferBase) : 0;
    uint64_t at = parsed;
    while (batch.size() < batchPieces()) {
      uint64_t stop = runStart + ((at - runStart) / options.pieceBytes + 1) * options.pieceBytes;
      if (stop + (all ? 0 : SampleBytes) > end()) {
        if (!all || at == end()) break;
        stop = end();
      }
      // Each file takes blocks of its own, whose counts are kept until the piece is
      // coded and whose joining is weighed pairwise: a piece ends before its
      // MaxPieceFiles + 1st file, so that memory and time stay bounded however small
      // the files are.
      size_t starts = 0;
      for (const FileMark& f : files) {
        if (f.start >= stop) break;
        if (f.start > at && ++starts > MaxPieceFiles) {
          stop = f.start;
          break;
        }
      }
      PieceRange piece{(uint32_t)(at - bufferBase), (uint32_t)(stop - bufferBase), history, {}, {}, {}};
      // A file coded with audio blocks leaves the decoder's match history as it was:
      // the parse restarts its own after it. Its first bytes are here already.
      bool sound = false;
      for (const FileMark& f : files) {
        if (f.start >= stop) break;
        if (f.start > at) {
          piece.fileStarts.push_back((uint32_t)(f.start - bufferBase));
          if (sound) piece.historyRestarts.push_back((uint32_t)(f.start - bufferBase));
        }
        if (!f.ended || f.end > at) sound = sound || maySound(f);
      }
      batch.push_back(std::move(piece));
      at = stop;
    }
    return batch;
  }

  void codeReady() {
    for (PieceRange& piece : ready) emitPiece(piece);
    if (!ready.empty()) coded = bufferBase + ready.back().stop;
    ready.clear();
  }

  // Parses the batches that are ready while the batch before is coded, and with `all`
  // codes everything. The threads read the buffer and their own pieces only; the
  // files, the stream and the buffer's bounds change between batches.
  void codePieces(bool all) {
    for (;;) {
      std::vector<PieceRange> batch = nextBatch(all);
      if (batch.empty()) break;
      parsed = bufferBase + batch.back().stop;
      // With several threads each helper takes the next piece not taken yet, and this
      // thread joins them once the batch before is coded.
      size_t helpers = options.threads > 1 ? std::min<size_t>((size_t)options.threads, batch.size()) : 0;
      while (parsers.size() < helpers + 1) parsers.emplace_back(new PieceParser);
      std::atomic<size_t> next(0);
      const uint8_t* bytes = buffer.data();
      auto work = [this, &batch, &next, bytes](PieceParser& parser) {
        for (size_t k = next++; k < batch.size(); k = next++) {
          PieceRange& piece = batch[k];
          parseLzPiece(parser, bytes, piece.history, piece.start, piece.stop, piece.fileStarts,
                       piece.historyRestarts, lz, &piece.blocks);
        }
      };
      std::vector<std::thread> threads;
      for (size_t w = 1; w <= helpers; w++) threads.emplace_back([this, w, &work]() { work(*parsers[w]); });
      codeReady();
      work(*parsers[0]);
      for (std::thread& t : threads) t.join();
      ready = std::move(batch);
      dropOldBytes();
    }
    if (all) {
      codeReady();
      dropOldBytes();
      settleFiles(coded);
    }
  }

  // Forgets the bytes no match can reach any more (keeping the start of a file whose
  // coding has not begun: its header tells whether it is sound).
  void dropOldBytes() {
    uint64_t keep = std::max(historyFrom, coded > MaxMatchDistance ? coded - MaxMatchDistance : 0);
    for (const FileMark& f : files)
      if (f.channels < 0) keep = std::min(keep, f.start);
    if (keep <= bufferBase) return;
    uint32_t shift = (uint32_t)(keep - bufferBase);
    buffer.erase(buffer.begin(), buffer.begin() + shift);
    bufferBase = keep;
    for (PieceRange& piece : ready) {
      piece.start -= shift;
      piece.stop -= shift;
      for (Block& b : piece.blocks) {
        b.start -= shift;
        b.stop -= shift;
      }
    }
  }

  bool beginFile(bool solid) {
    if (filesBegun == 0) solid = false;
    filesBegun++;
    if (!solid) {
      // A new run: everything before is coded with the old one.
      codePieces(true);
      closePending(st);
      drain(st);
      historyFrom = runStart = coded = parsed = end();
      dropOldBytes();
    }
    FileMark f;
    f.start = end();
    f.solid = solid;
    files.push_back(f);
    return solid;
  }

  void feed(const uint8_t* data, size_t size) {
    buffer.insert(buffer.end(), data, data + size);
    if (end() - parsed >= (uint64_t)options.pieceBytes * batchPieces() + SampleBytes) codePieces(false);
  }

  void endFile() {
    files.back().ended = true;
    files.back().end = end();
  }

  void finish() {
    codePieces(true);
    closePending(st);
    drain(st);
  }
};

V20Encoder::V20Encoder(const V20EncoderOptions& options) : impl(new V20EncoderImpl(options)) {
  impl->queue.queue = &finished;
}
V20Encoder::~V20Encoder() = default;

bool V20Encoder::beginFile(bool solid) {
  impl->sink = sink ? sink : &impl->queue;
  return impl->beginFile(solid);
}

void V20Encoder::feed(const uint8_t* data, size_t size) { impl->feed(data, size); }

void V20Encoder::endFile() { impl->endFile(); }

bool V20Encoder::addFile(const uint8_t* data, size_t size, bool solid) {
  bool coded = beginFile(solid);
  feed(data, size);
  endFile();
  return coded;
}

void V20Encoder::finish() {
  impl->finish();
  usedAudio = impl->finishedAudio;
}

std::vector<uint8_t> encodeV20(const uint8_t* data, size_t size, const V20EncoderOptions& options) {
  V20Encoder encoder(options);
  encoder.addFile(data, size, false);
  encoder.finish();
  return std::move(encoder.finished.front());
}

static uint32_t readLe16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t readLe32(const uint8_t* p) { return readLe16(p) | readLe16(p + 2) << 16; }

int detectMultimediaChannels(const uint8_t* data, size_t size) {
  if (size >= 44 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WAVE", 4) == 0) {
    size_t at = 12;
    while (at + 8 <= size) {
      uint32_t chunk = readLe32(data + at + 4);
      if (memcmp(data + at, "fmt ", 4) == 0 && at + 24 <= size) {
        uint32_t format = readLe16(data + at + 8), channels = readLe16(data + at + 10);
        uint32_t bits = readLe16(data + at + 22);
        if ((format == 1 || format == 0xFFFE) && (bits == 8 || bits == 16)) {
          uint32_t n = channels * (bits / 8);
          if (n >= 1 && n <= MaxChannels) return (int)n;
        }
        return 0;
      }
      at += 8 + (size_t)chunk + (chunk & 1);
    }
    return 0;
  }
  if (size >= 54 && data[0] == 'B' && data[1] == 'M' && readLe32(data + 14) >= 40) {
    uint32_t bits = readLe16(data + 28), compression = readLe32(data + 30);
    if (bits == 24 && compression == 0) return 3;
    if (bits == 32 && (compression == 0 || compression == 3)) return 4;
  }
  return 0;
}
