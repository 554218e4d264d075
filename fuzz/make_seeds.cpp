// Writes the seed inputs of the fuzz targets, all built here: archives from the
// archive writer (both header generations, folders, ciphers, blocks of every kind,
// an executable stand-in, solid sets) and version 2.0 streams assembled symbol by
// symbol. Usage: make_seeds FOLDER; it creates FOLDER/<target>/ with one file each.
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "pack/archive_writer.h"
#include "pack/localtext/local_text_writer.h"
#include "tests/v20/v20_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string root;

void save(const std::string& target, const std::string& name, const Bytes& bytes) {
  std::string folder = root + "/" + target;
  mkdir(folder.c_str(), 0755);
  std::string path = folder + "/" + name;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    perror(path.c_str());
    exit(1);
  }
  fclose(file);
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A stream of text, a match, a switch to a two-channel audio block and back.
struct Streams {
  Bytes first, firstPacked, second, secondPacked;
};

Streams v20Streams() {
  Streams out;
  V20Stream s;
  s.lzHeader();
  const std::string words = "installers repeat themselves; ";
  s.literals(words.c_str());
  s.match(2 * (uint32_t)words.size(), (uint32_t)words.size());
  s.shortMatch(5);
  s.repeatLast();
  s.historyMatch(1, 4);
  out.first = text(words + words + words);
  // What the short match, the repeat and the history match add: assembled by the
  // decoder, so the seed's checksum need not be right; damage is what the fuzzer tries.
  for (int i = 0; i < 2 + 2 + 7; i++) out.first.push_back(out.first[out.first.size() - 5]);
  s.newTables();
  s.audioHeader(2, true);
  out.firstPacked = s.finish();

  s.bits = BitWriter();
  for (int i = 0; i < 300; i++) {
    uint8_t b = (uint8_t)(128 + ((i / 2) % 30) * ((i & 1) ? 3 : -2));
    s.audioByte(b);
    out.second.push_back(b);
  }
  s.audioTableSwitch();
  s.lzHeader(true);
  s.literals("tail");
  out.second.insert(out.second.end(), {'t', 'a', 'i', 'l'});
  out.secondPacked = s.finish();
  return out;
}

Bytes le24(uint32_t v) { return {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16)}; }

// The unpack targets' framing (see unpack_method.cpp).
Bytes framed(const std::vector<std::pair<Bytes, uint32_t>>& entries, bool solidAfterFirst) {
  Bytes out{(uint8_t)(entries.size() - 1)};
  for (size_t i = 0; i < entries.size(); i++) {
    out.push_back(solidAfterFirst && i > 0 ? 1 : 0);
    Bytes size = le24(entries[i].second);
    out.insert(out.end(), size.begin(), size.end());
    if (i + 1 < entries.size()) {
      out.push_back((uint8_t)entries[i].first.size());
      out.push_back((uint8_t)(entries[i].first.size() >> 8));
    }
    out.insert(out.end(), entries[i].first.begin(), entries[i].first.end());
  }
  return out;
}

// Bytes that are no stream in particular, for the version 1.5 method until it has an
// encoder: a run of patterns the decoder's codes read in many ways.
Bytes patterned(size_t size, uint32_t seed) {
  Bytes out(size);
  for (size_t i = 0; i < size; i++) {
    seed = seed * 1103515245u + 12345u;
    out[i] = (uint8_t)(seed >> 16);
  }
  return out;
}

void archiveSeeds() {
  const Bytes readme = text("Lumvard installer payload\r\n");
  Bytes big(70000);
  for (size_t i = 0; i < big.size(); i++) big[i] = (uint8_t)(i * 7 + i / 300);

  std::vector<std::pair<std::string, PackArchive>> archives;

  PackArchive plain;
  plain.items.push_back(storedFile("readme.txt", readme));
  plain.items.push_back(folder("docs"));
  plain.items.push_back(storedFile("docs\\big.bin", big));
  plain.items.push_back(storedFile("docs/empty.txt", Bytes()));
  archives.push_back({"plain", plain});

  PackArchive ciphers;
  for (uint8_t version : {20, 15, 13}) {
    PackEntry e = storedFile("secret" + std::to_string(version) + ".txt", readme);
    e.unpVer = version;
    e.password = "fuzz";
    ciphers.items.push_back(e);
  }
  PackEntry wrong = storedFile("wrong.txt", readme);
  wrong.password = "other";
  ciphers.items.push_back(wrong);
  archives.push_back({"ciphers", ciphers});

  PackArchive old;
  old.format = PackFormat::Old;
  old.items.push_back(storedFile("OLD.TXT", readme));
  PackEntry v10 = storedFile("V10.TXT", readme);
  v10.oldVersionCode = 1;
  old.items.push_back(v10);
  PackEntry packed15 = compressedFile("PACKED.BIN", 2000, 0x12345678, patterned(300, 3), 13, 0x33);
  packed15.oldMethod = 3;
  old.items.push_back(packed15);
  archives.push_back({"old", old});

  PackArchive blocks;
  blocks.archiveHeaderExtra = text("comment");
  PackBlock sub;
  sub.headerBody = {1, 2, 3, 4};
  sub.addData = text("sub-block data");
  blocks.items.push_back(sub);
  PackBlock other;
  other.headType = 0x7A;
  other.addData = text("skipped");
  blocks.items.push_back(other);
  PackEntry padded = storedFile("padded.txt", readme);
  padded.headerPadding = 6;
  blocks.items.push_back(padded);
  blocks.items.push_back(storedFile(std::string(270, 'n'), readme));
  PackEntry label = storedFile("LABEL", Bytes());
  label.attributes = 0x08;
  blocks.items.push_back(label);
  blocks.endBlockHeadSize = 7;
  archives.push_back({"blocks", blocks});

  Streams streams = v20Streams();
  PackArchive v20;
  v20.items.push_back(compressedFile("one.txt", streams.first, streams.firstPacked, 20, 0x33));
  archives.push_back({"v20", v20});

  PackArchive solid;
  solid.solid = true;
  solid.items.push_back(compressedFile("text.txt", streams.first, streams.firstPacked, 20, 0x33));
  solid.items.push_back(compressedFile("sound.raw", streams.second, streams.secondPacked, 20, 0x35));
  PackEntry encrypted = compressedFile("again.raw", streams.second, streams.secondPacked, 20, 0x35);
  encrypted.password = "fuzz";
  solid.items.push_back(encrypted);
  archives.push_back({"solid20", solid});

  PackArchive v15;
  v15.items.push_back(compressedFile("a.bin", 5000, 0, patterned(600, 1), 15, 0x33));
  v15.items.push_back(compressedFile("b.bin", 700, 0, patterned(90, 2), 15, 0x31));
  archives.push_back({"v15", v15});

  PackArchive solid15 = v15;
  solid15.solid = true;
  archives.push_back({"solid15", solid15});

  PackArchive volume;
  volume.volume = true;
  volume.solid = true;
  PackEntry continued = storedFile("split.bin", readme);
  continued.extraFlags = 0x02;
  volume.items.push_back(continued);
  archives.push_back({"volume", volume});

  for (auto& [name, archive] : archives) {
    Bytes image = buildArchive(archive);
    save("extract", name, image);
    Bytes walked{0};
    walked.insert(walked.end(), image.begin(), image.end());
    save("walk", name, walked);
  }

  // Embedded in an executable stand-in: the search finds it.
  PackArchive embedded = plain;
  embedded.prefix = executableStub(0x29000);
  save("extract", "embedded", buildArchive(embedded));
  Bytes walkedNew{(uint8_t)(2 * 4)};
  Bytes image = buildArchive(v20);
  walkedNew.insert(walkedNew.end(), image.begin(), image.end());
  save("walk", "embedded-new", walkedNew);
  Bytes walkedOld{(uint8_t)(2 * 4 + 1)};
  image = buildArchive(old);
  walkedOld.insert(walkedOld.end(), image.begin(), image.end());
  save("walk", "embedded-old", walkedOld);
}

void unpackSeeds() {
  Streams streams = v20Streams();
  save("unpack20", "one", framed({{streams.firstPacked, (uint32_t)streams.first.size()}}, false));
  save("unpack20", "solid",
       framed({{streams.firstPacked, (uint32_t)streams.first.size()},
               {streams.secondPacked, (uint32_t)streams.second.size()}},
              true));
  // A large unpacked size from a small stream: the window wraps, the decoder must
  // still end when the packed data does.
  save("unpack20", "long", framed({{streams.firstPacked, 0x180000}}, false));

  save("unpack15", "one", framed({{patterned(400, 5), 3000}}, false));
  save("unpack15", "solid", framed({{patterned(300, 6), 2000}, {patterned(200, 7), 1500}}, true));
  save("unpack15", "long", framed({{patterned(800, 8), 0x180000}}, false));
}

// Localised text files: byte 0 the language (0: the file's first), byte 1 the entry,
// byte 2 the buffer capacity (see local_text.cpp).
void localTextSeeds() {
  Bytes file = buildLocalTextFile({{9, {"Advanced Lumvard", "C:\\LUMVARD"}},
                                   {7, {"Lumvard Installation", "C:\\LUMVARD"}},
                                   {0x15, {"", "D:\\PROGRAMY\\LUMVARD"}}});
  Bytes seed{0, 1, 200};
  seed.insert(seed.end(), file.begin(), file.end());
  save("local_text", "first", seed);
  seed[0] = 7;
  seed[1] = 2;
  seed[2] = 8;
  save("local_text", "short-buffer", seed);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 2;
  }
  root = argv[1];
  mkdir(root.c_str(), 0755);
  archiveSeeds();
  unpackSeeds();
  localTextSeeds();
  return 0;
}
