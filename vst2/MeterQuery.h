// A vendor-specific query through which a host of our own (the qv3 command) reads the published meter values,
// which the standard record does not carry: effVendorSpecific with index kMeterValueQuery, value = meter
// index (6 and up) and ptr pointing to a double. The effect writes the value and answers 1; any other
// vendor-specific request is answered 0, as before.
#pragma once

#include "vst2/VstInterface.h"

constexpr std::int32_t kMeterValueQuery = fourCharCode('O', 'v', 'M', 'v');
