// A Fader whose style always includes kFaderVertical.
#pragma once

#include "toolkit/Fader.h"

class VerticalFader : public Fader {
  public:
    VerticalFader(const Rect& bounds, ControlListener* listener, int tag, int minimumPosition,
                  int maximumPosition, Bitmap* handle, Bitmap* background, const Point& offset, int style);
};
