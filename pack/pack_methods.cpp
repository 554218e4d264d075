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

struct V15StreamEncoder : StreamEncoder {
  V15Encoder encoder;
  bool started = false;
  std::vector<uint8_t> packed;
  void pass() {
    if (!packed.empty()) sink->write(packed.data(), packed.size());
    packed.clear();
  }
  bool beginFile(bool solid) override {
    solid = solid && started;
    started = true;
    beginV15File(encoder, solid);
    return solid;
  }
  void feed(const uint8_t* data, size_t size) override {
    feedV15(encoder, data, size, &packed);
    pass();
  }
  void endFile() override {
    endV15File(encoder, &packed);
    pass();
    sink->endStream();
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
