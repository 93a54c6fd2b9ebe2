#include "toolkit/View.h"

#include "toolkit/Frame.h"

View::View(const Rect& bounds) : bounds_(bounds) {}

View::~View() = default;

void View::draw(DrawContext*) { setDirty(false); }

void View::drawArea(DrawContext* context, const Rect&) { draw(context); }

bool View::intersects(const Rect& rect) const {
    return rect.right >= bounds_.left && rect.left <= bounds_.right && rect.bottom >= bounds_.top &&
           rect.top <= bounds_.bottom;
}

void View::onMouseDown(DrawContext*, const Point&) {}

void View::updateIfDirty(DrawContext* context) {
    if (!isDirty()) return;
    draw(context);
    setDirty(false);
}

bool View::dropData(void**, int, int, const Point&) { return false; }

bool View::wheel(DrawContext*, const Point&, int) { return false; }

void View::focusLost(DrawContext*) {}

void View::focusGained(DrawContext*) {}

bool View::isDirty() const { return dirty_; }

void View::setDirty(bool dirty) { dirty_ = dirty; }

void View::setInputEnabled(bool enabled) { inputEnabled_ = enabled; }

bool View::inputEnabled() const { return inputEnabled_; }

bool View::hitTest(const Point& point, int) const { return containsPoint(bounds_, point); }

void View::setTransparent(bool transparent) { transparent_ = transparent; }

bool View::transparent() const { return transparent_; }

void View::setBounds(const Rect& rect) {
    bounds_ = rect;
    setDirty(true);
}

void View::bounds(Rect& rect) const { rect = bounds_; }

void View::setParentView(View* parent) { parentView_ = parent; }

void View::setParentFrame(Frame* frame) { parentFrame_ = frame; }

FrameEditor* View::owningEditor() { return parentFrame_ ? parentFrame_->owningEditor() : nullptr; }

bool View::detachedFrom(View*) { return true; }

bool View::attachedTo(View*) { return true; }

void View::release() {
    if (refCount_ <= 0) return;
    if (--refCount_ == 0) delete this;
}

void View::retain() { ++refCount_; }

int View::referenceCount() const { return refCount_; }

void View::redraw() {
    if (parentFrame_) parentFrame_->redrawView(this);
}
