#include "shell/LimiterEffect.h"

#include "shell/EditorFactory.h"
#include "shell/PlainEditor.h"

#include <cmath>

LimiterEffect::LimiterEffect(audioMasterCallback host) : LimiterCore(host) {
    setUniqueId(kUniqueId);
    editorFailed_ = !attachEditor(*this);
}

void LimiterEffect::setParameter(std::int32_t index, float value) {
    if (!std::isfinite(value)) return;
    LimiterCore::setParameter(index, value);
    if (editor_) editor_->parameterChanged(index, value);
}
