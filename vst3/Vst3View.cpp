// The editor as a VST3 plug view: the bitmap editor in the host's HWND, fixed in size. The view holds a
// reference to the effect, so an effect the host releases with the view still open lives until the view goes;
// the editor itself belongs to the effect, so a view released while a drag runs inside the editor leaves the
// editor's own stack intact. Builds without a window system make no editor and so no view.
//
// Threads: the host's user-interface thread.
#include "vst3/Vst3Effect.h"

#include <travesty/view.h>

#include <atomic>
#include <cstring>

namespace {
constexpr const char* kPlatformType = V3_VIEW_PLATFORM_TYPE_HWND;

bool supported(const char* platformType) {
    return platformType && std::strcmp(platformType, kPlatformType) == 0;
}

class Vst3View {
  public:
    explicit Vst3View(Vst3Effect& effect);
    Vst3View(const Vst3View&) = delete;
    Vst3View& operator=(const Vst3View&) = delete;

    static Vst3View& of(void* self) { return *static_cast<Face*>(self)->view; }
    v3_plugin_view** face() { return reinterpret_cast<v3_plugin_view**>(&face_); }

    v3_result queryInterface(const v3_tuid iid, void** object);
    std::uint32_t ref() { return ++references_; }
    std::uint32_t unref();

    v3_result attached(void* parent, const char* platformType);
    v3_result removed();
    v3_result size(v3_view_rect& rect) const;

  private:
    struct Face {
        const v3_plugin_view_cpp* table;
        Vst3View* view;
    };
    ~Vst3View();

    Face face_;
    std::atomic<std::uint32_t> references_{1};
    Vst3Effect& effect_;
};

v3_result V3_API queryInterfaceEntry(void* self, const v3_tuid iid, void** object) {
    return Vst3View::of(self).queryInterface(iid, object);
}
uint32_t V3_API refEntry(void* self) { return Vst3View::of(self).ref(); }
uint32_t V3_API unrefEntry(void* self) { return Vst3View::of(self).unref(); }
v3_result V3_API platformTypeEntry(void*, const char* platformType) {
    return supported(platformType) ? V3_OK : V3_FALSE;
}
v3_result V3_API attachedEntry(void* self, void* parent, const char* platformType) {
    return Vst3View::of(self).attached(parent, platformType);
}
v3_result V3_API removedEntry(void* self) { return Vst3View::of(self).removed(); }
// The editor takes no wheel or keys; the host keeps them.
v3_result V3_API wheelEntry(void*, float) { return V3_FALSE; }
v3_result V3_API keyEntry(void*, int16_t, int16_t, int16_t) { return V3_FALSE; }
v3_result V3_API sizeEntry(void* self, v3_view_rect* rect) {
    if (!rect) return V3_INVALID_ARG;
    return Vst3View::of(self).size(*rect);
}
v3_result V3_API onSizeEntry(void*, v3_view_rect* rect) { return rect ? V3_OK : V3_INVALID_ARG; }
v3_result V3_API focusEntry(void*, v3_bool) { return V3_OK; }
// The view never asks to be resized, so it needs nothing of the host's frame.
v3_result V3_API frameEntry(void*, v3_plugin_frame**) { return V3_OK; }
v3_result V3_API canResizeEntry(void*) { return V3_FALSE; }
v3_result V3_API sizeConstraintEntry(void* self, v3_view_rect* rect) {
    if (!rect) return V3_INVALID_ARG;
    return Vst3View::of(self).size(*rect);
}

const v3_plugin_view_cpp kViewTable = {
    {queryInterfaceEntry, refEntry, unrefEntry},
    {platformTypeEntry, attachedEntry, removedEntry, wheelEntry, keyEntry, keyEntry, sizeEntry, onSizeEntry,
     focusEntry, frameEntry, canResizeEntry, sizeConstraintEntry},
};

Vst3View::Vst3View(Vst3Effect& effect) : face_{&kViewTable, this}, effect_(effect) { effect_.ref(); }

Vst3View::~Vst3View() {
    effect_.closeEditor(this);
    effect_.unref();
}

v3_result Vst3View::queryInterface(const v3_tuid iid, void** object) {
    if (!object) return V3_INVALID_ARG;
    const bool known = v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_view_iid);
    *object = known ? face() : nullptr;
    if (!known) return V3_NO_INTERFACE;
    ref();
    return V3_OK;
}

std::uint32_t Vst3View::unref() {
    const std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
}

v3_result Vst3View::attached(void* parent, const char* platformType) {
    return parent && supported(platformType) && effect_.openEditor(this, parent) ? V3_OK : V3_FALSE;
}

v3_result Vst3View::removed() {
    effect_.closeEditor(this);
    return V3_OK;
}

v3_result Vst3View::size(v3_view_rect& rect) const {
    rect = effect_.editorSize();
    return V3_OK;
}
} // namespace

v3_plugin_view** Vst3Effect::createView(const char* platformType) {
    if (!supported(platformType)) return nullptr;
    if (!editor_) {
        if (!makeEditor(*this, editor_) || !editor_) return nullptr;
        listeningEditor_.store(editor_.get());
    }
    return (new Vst3View(*this))->face();
}

bool Vst3Effect::openEditor(const void* view, void* parentWindow) {
    if (editorView_) return false;
    if (!editor_->open(parentWindow)) return false;
    editorView_ = view;
    return true;
}

void Vst3Effect::closeEditor(const void* view) {
    if (view != editorView_) return;
    editorView_ = nullptr;
    editor_->close();
}

v3_view_rect Vst3Effect::editorSize() const { return {0, 0, editor_->width(), editor_->height()}; }
