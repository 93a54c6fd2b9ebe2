// Base of everything the toolkit draws: a rectangle with a reference count, a repaint flag and virtual hooks
// for painting and input, each with a do-nothing default. User-interface thread, except that setDirty(true)
// may be used from elsewhere to ask for a repaint in the next idle pass.
#pragma once

#include "toolkit/ValueTypes.h"

class DrawContext;
class Frame;
class FrameEditor;

// Kinds of data handed to dropData.
enum DropKind { kDropKindFiles = 0, kDropKindText = 1 };

class View {
  public:
    explicit View(const Rect& bounds);
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    virtual void draw(DrawContext* context);
    // Views paint whole; the rectangle only tells what needs painting.
    virtual void drawArea(DrawContext* context, const Rect& rect);
    // Touching edges count as intersecting.
    virtual bool intersects(const Rect& rect) const;
    virtual void onMouseDown(DrawContext* context, const Point& point);
    virtual void updateIfDirty(DrawContext* context);
    // data: count file names (kDropKindFiles) or one text of count bytes (kDropKindText).
    virtual bool dropData(void** data, int count, int kind, const Point& point);
    virtual bool wheel(DrawContext* context, const Point& point, int distance);
    virtual void focusLost(DrawContext* context);
    virtual void focusGained(DrawContext* context);
    virtual bool isDirty() const;
    virtual void setDirty(bool dirty);
    virtual void setInputEnabled(bool enabled);
    virtual bool inputEnabled() const;
    // Inside the bounds with edges included; the buttons do not matter.
    virtual bool hitTest(const Point& point, int buttons) const;
    virtual void setTransparent(bool transparent);
    virtual bool transparent() const;
    // Marks the view dirty.
    virtual void setBounds(const Rect& rect);
    virtual void bounds(Rect& rect) const;
    virtual void setParentView(View* parent);
    virtual void setParentFrame(Frame* frame);
    virtual FrameEditor* owningEditor();
    virtual bool detachedFrom(View* parent);
    virtual bool attachedTo(View* parent);
    // Starts at 1; the release that brings the count to 0 deletes the view.
    virtual void release();
    virtual void retain();
    virtual int referenceCount() const;

    // Paints the view at once through its frame.
    void redraw();

  protected:
    int refCount_ = 1;
    Rect bounds_;
    Frame* parentFrame_ = nullptr;
    View* parentView_ = nullptr;
    bool dirty_ = false;
    bool inputEnabled_ = true;
    bool transparent_ = false;
};
