// Compression levels of lumvard-pack: 1 packs fastest, 5 smallest. A level only
// changes how hard the compressor searches; every level decodes with the same decoder
// and nothing of it is recorded in the archive.
#pragma once

#include "pack/encode_v20.h"

enum { MinPackLevel = 1, MaxPackLevel = 5, DefaultPackLevel = 3 };

// The version 2.0 compressor's settings for a level (clamped to 1..5).
V20EncoderOptions v20LevelOptions(int level);
