// Fields of the decompressor state owned by the version 1.5 method. Included by
// unpack_state.h.
#pragma once

#include <stdint.h>

struct V15State {
  uint32_t literalList[256];
  uint32_t distanceList[256];
  uint32_t flagList[256];
  uint32_t shortDistanceList[256];
  uint32_t literalPromotion[256];
  uint32_t distancePromotion[256];
  uint32_t flagPromotion[256];
  uint32_t literalPlaceAvg;
  uint32_t distancePlaceAvg;
  uint32_t shortLengthAvg;
  uint32_t longLengthAvg;
  uint32_t nearMatchAvg;
  uint32_t farDistanceLimit;
  uint32_t literalScore;
  uint32_t matchScore;
  int32_t literalRun;
  uint32_t shortCodeVariant;
  uint32_t repeatRun;
  int32_t flagByte;
  int32_t flagBitsLeft;
  bool literalOnly;
  bool modelReady;  // the lists have been started in this session
};
