// Script of the simulated audio output.
#pragma once

#include <cstdint>

namespace corvane::sim {

struct AudioScript {
  int32_t coInitialize = 0;  // the result of each step; negative fails it
  int32_t createEnumerator = 0;
  int32_t defaultEndpoint = 0;
  int32_t activateMeter = 0;
  int32_t peakValue = 0;
  float level = 0.0f;             // what the meter reads
  bool failedPeakWrites = false;  // a failing GetPeakValue still writes the level
  uint32_t delayMs = 0;           // each tick's read takes this long
};

void setAudio(const AudioScript& script);

struct AudioCensus {
  int64_t objects = 0;           // interfaces obtained and not released
  int64_t apartments = 0;        // CoInitialize not yet undone
  uint64_t reads = 0;            // CoInitialize calls
  int64_t workerApartments = 0;  // stream workers inside COM
};

AudioCensus audioCensus();

}  // namespace corvane::sim
