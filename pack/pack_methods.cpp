#include "pack/pack_methods.h"

#include <string.h>

namespace {

struct V20StreamEncoder : StreamEncoder {
  V20Encoder encoder;
  explicit V20StreamEncoder(const V20EncoderOptions& options) : encoder(options) {}
  bool beginFile(bool solid) override {
    encoder.sink = sink;
    return encoder.beginFile(solid);
  }
  void feed(const uint8_t* data, size_t size) override { encoder.feed(data, size); }
  void endFile() override { encoder.endFile(); }
  void finish() override { encoder.finish(); }
};

std::unique_ptr<StreamEncoder> makeV20(const PackSettings& settings) {
  V20EncoderOptions options = v20LevelOptions(settings.level);
  options.multimedia = settings.multimedia;
  options.threads = settings.threads;
  options.onProgress = settings.onProgress;
  return std::unique_ptr<StreamEncoder>(new V20StreamEncoder(options));
}

// The version 1.5 compressor takes a file whole: its bytes are gathered first.
struct V15StreamEncoder : StreamEncoder {
  V15Encoder encoder;
  bool started = false;
  bool solidFile = false;
  std::vector<uint8_t> file;
  bool beginFile(bool solid) override {
    solidFile = solid && started;
    started = true;
    file.clear();
    return solidFile;
  }
  void feed(const uint8_t* data, size_t size) override { file.insert(file.end(), data, data + size); }
  void endFile() override {
    std::vector<uint8_t> packed = encodeV15File(encoder, file.data(), file.size(), solidFile);
    sink->write(packed.data(), packed.size());
    sink->endStream();
    file.clear();
    file.shrink_to_fit();
  }
  void finish() override {}
};

std::unique_ptr<StreamEncoder> makeV15(const PackSettings&) {
  return std::unique_ptr<StreamEncoder>(new V15StreamEncoder);
}

}  // namespace

const PackMethod packMethods[] = {
    {"store", 20, 0x30, false, nullptr, false, true},
    {"2.0", 20, 0x33, true, makeV20, false, false},
    {"1.5", 15, 0x33, true, makeV15, true, true},
};
const size_t packMethodCount = sizeof packMethods / sizeof packMethods[0];

const PackMethod* findPackMethod(const char* name) {
  for (size_t i = 0; i < packMethodCount; i++)
    if (strcmp(packMethods[i].name, name) == 0) return &packMethods[i];
  return nullptr;
}
