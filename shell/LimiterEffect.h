// The complete effect: the limiter plus its editor, which hears of every parameter change.
#pragma once

#include "shell/LimiterCore.h"

class LimiterEffect : public LimiterCore {
  public:
    explicit LimiterEffect(audioMasterCallback host);

    void setParameter(std::int32_t index, float value) override;

    // True when this build has an editor and it could not be made; the entry then refuses the instance.
    bool editorFailed() const { return editorFailed_; }

  private:
    bool editorFailed_ = false;
};
