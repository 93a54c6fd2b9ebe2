// The OLE drop target of a Frame's window. It accepts text (CF_TEXT) and file lists (CF_HDROP) and hands them
// to the frame's dropData; shortcut files are resolved to their targets on the way. OLE calls it on the
// thread that registered it.
#pragma once

#include <ole2.h>

class Frame;

// COM objects are destroyed through Release, never through the interface; the interface has no destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class FrameDropTarget : public IDropTarget {
  public:
    // Starts with a reference count of 0; whoever keeps it takes a reference.
    explicit FrameDropTarget(Frame* frame);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // The effect answered is copy for text and file lists (for a drop: when a view took it) and none for
    // anything else, never move; copy only where the source allows it.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* dataObject, DWORD keyState, POINTL point,
                                        DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* dataObject, DWORD keyState, POINTL point,
                                   DWORD* effect) override;

    // The frame is going away: later drops reach nobody.
    void detachFrame() { frame_ = nullptr; }

    // For a path ending in ".lnk" (any case) writes the shortcut's target into out and answers true;
    // otherwise, or when the shortcut cannot be resolved, answers false and leaves out as it was. out may be
    // path itself.
    static bool resolveShortcut(const char* path, char* out, int outCapacity);

  protected:
    virtual ~FrameDropTarget();

  private:
    // True when a view took the data.
    bool dropFiles(HGLOBAL files);
    bool dropText(HGLOBAL text);

    LONG refCount_ = 0;
    bool accept_ = false;
    Frame* frame_;
};
#pragma GCC diagnostic pop
