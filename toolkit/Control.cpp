#include "toolkit/Control.h"

#include "toolkit/Bitmap.h"
#include "toolkit/ControlListener.h"
#include "toolkit/Frame.h"

#include <cstring>

Control::Control(const Rect& bounds, ControlListener* listener, int tag, Bitmap* background)
    : View(bounds), listener_(listener), tag_(tag), background_(background) {
    if (background_) background_->retain();
}

Control::~Control() {
    if (background_) background_->release();
}

bool Control::isDirty() const { return !(value_ == lastDrawnValue_) || dirty_; }

void Control::setDirty(bool dirty) {
    dirty_ = dirty;
    if (!dirty) {
        lastDrawnValue_ = value_;
        return;
    }
    // Any value that cannot be the current one; -1.0 itself needs another.
    const float minusOne = -1.0f;
    lastDrawnValue_ = std::memcmp(&value_, &minusOne, sizeof value_) == 0 ? 0.0f : -1.0f;
}

void Control::pumpIdle() {
    if (parentFrame_) parentFrame_->pumpIdle();
}

void Control::setValue(float value) { value_ = value; }

float Control::value() const { return value_; }

void Control::setMin(float value) { minValue_ = value; }

float Control::minValue() const { return minValue_; }

void Control::setMax(float value) { maxValue_ = value; }

float Control::maxValue() const { return maxValue_; }

void Control::setLastDrawnValue(float value) { lastDrawnValue_ = value; }

float Control::lastDrawnValue() const { return lastDrawnValue_; }

void Control::setDefaultValue(float value) { defaultValue_ = value; }

float Control::defaultValue() const { return defaultValue_; }

void Control::setTag(int tag) { tag_ = tag; }

void Control::setBackground(Bitmap* background) {
    // Retain first: setting the same picture again must not delete it on the way.
    if (background) background->retain();
    if (background_) background_->release();
    background_ = background;
}

Bitmap* Control::background() const { return background_; }

void Control::setBackgroundOffset(const Point& offset) { backgroundOffset_ = offset; }

void Control::alignBackgroundOffset() { backgroundOffset_ = {bounds_.left, bounds_.top}; }

void Control::setWheelStep(float step) { wheelStep_ = step; }

float Control::wheelStep() const { return wheelStep_; }

void Control::clampValue() {
    if (value_ > maxValue_) {
        value_ = maxValue_;
    } else if (value_ < minValue_) {
        value_ = minValue_;
    }
}

void Control::notifyIfDirty(DrawContext* context) {
    if (listener_ && isDirty() && !frameClosed()) listener_->onControlChanged(context, this);
}

bool Control::frameClosed() const { return parentFrame_ && parentFrame_->closed(); }

void Control::beginEdit() {
    if (parentFrame_) parentFrame_->beginParameterEdit(tag_);
}

void Control::endEdit() {
    if (parentFrame_) parentFrame_->endParameterEdit(tag_);
}
