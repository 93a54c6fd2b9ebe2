#include "toolkit/VerticalFader.h"

VerticalFader::VerticalFader(const Rect& bounds, ControlListener* listener, int tag, int minimumPosition,
                             int maximumPosition, Bitmap* handle, Bitmap* background, const Point& offset,
                             int style)
    : Fader(bounds, listener, tag, minimumPosition, maximumPosition, handle, background, offset,
            style | kFaderVertical) {}
