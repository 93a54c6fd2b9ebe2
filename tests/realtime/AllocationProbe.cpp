// Proves that the real-time check bites: a meter publisher that allocates, called from inside the audio path,
// must make RealtimeSanitizer report and stop the program. Run only in the RealtimeSanitizer build, where the
// test passes on that report and fails on anything else, a clean exit included.
#include "dsp/LimiterPath.h"

#include <vector>

namespace {
// The publisher inherits the audio path's nonblocking contract; this one breaks it on purpose.
class AllocatingPublisher final : public MeterPublisher {
  public:
    void publishMeter(std::int32_t index, float value) override { published.push_back({index, value}); }
    std::vector<std::pair<std::int32_t, float>> published;
};
} // namespace

int main() {
    AllocatingPublisher publisher;
    static LimiterPath<2> path(publisher);
    path.setSampleRate(44100.0f);
    static float left[8192], right[8192];
    float* channels[2] = {left, right};
    for (float& sample : left)
        sample = 0.5f;
    // A meter period is 4410 frames: the first publication happens inside this call.
    path.processReplacing(channels, channels, 8192);
    return 0;
}
