// The one build-time choice: the stereo or the mono effect. builds/ compiles the same sources twice with
// QV3_CHANNELS set to 2 or 1; everything that depends on it is derived here.
#pragma once

#include "core/ParameterLayout.h"

#include <cstdint>

#ifndef QV3_CHANNELS
#error "QV3_CHANNELS must be 2 (stereo build) or 1 (mono build)"
#endif

constexpr int kChannelCount = QV3_CHANNELS;
static_assert(kChannelCount == 1 || kChannelCount == 2);

constexpr bool kStereoBuild = kChannelCount == 2;
constexpr const char* kEffectName = kStereoBuild ? "Orvanta_QV3" : "Orvanta_QV3mono";
constexpr const char* kVendorName = "tarnwick";
constexpr std::int32_t kVendorVersion = 1000;
// Meter slots: in L, in R, gain, out L, out R (mono: in, gain, out).
constexpr int kMeterCount = kStereoBuild ? kStereoMeterCount : kMonoMeterCount;
