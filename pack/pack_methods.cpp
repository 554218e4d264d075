#include "pack/pack_methods.h"

#include <string.h>

namespace {

struct V20StreamEncoder : StreamEncoder {
  V20Encoder encoder;
  explicit V20StreamEncoder(const V20EncoderOptions& options) : encoder(options) {}
  void collect() {
    while (!encoder.finished.empty()) {
      finished.push_back(std::move(encoder.finished.front()));
      encoder.finished.pop_front();
    }
  }
  bool addFile(const uint8_t* data, size_t size, bool solid) override {
    bool coded = encoder.addFile(data, size, solid);
    collect();
    return coded;
  }
  void finish() override {
    encoder.finish();
    collect();
  }
};

std::unique_ptr<StreamEncoder> makeV20(const PackSettings& settings) {
  V20EncoderOptions options;
  options.multimedia = settings.multimedia;
  options.onProgress = settings.onProgress;
  return std::unique_ptr<StreamEncoder>(new V20StreamEncoder(options));
}

struct V15StreamEncoder : StreamEncoder {
  V15Encoder encoder;
  bool started = false;
  bool addFile(const uint8_t* data, size_t size, bool solid) override {
    bool coded = solid && started;
    finished.push_back(encodeV15File(encoder, data, size, coded));
    started = true;
    return coded;
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
