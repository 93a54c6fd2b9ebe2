// The gui extension: the plug-in's own editor, embedded in the host's window (win32 only), at its one fixed
// size. It is offered only by builds that have an editor. The editor object lives as long as the instance;
// create and destroy only decide whether the host wants it, set_parent opens its window and destroy closes
// it, so a second create or set_parent replaces the window, and destroying the instance with the window open
// closes it with the editor.
#include "clap/ClapPlugin.h"

#include "editor/PluginEditor.h"

#include <cstring>

namespace {
bool embeddedWin32(const char* api, bool isFloating) {
    return !isFloating && api && std::strcmp(api, CLAP_WINDOW_API_WIN32) == 0;
}

bool CLAP_ABI isApiSupportedEntry(const clap_plugin_t*, const char* api, bool isFloating) {
    return embeddedWin32(api, isFloating);
}
bool CLAP_ABI preferredApiEntry(const clap_plugin_t*, const char** api, bool* isFloating) {
    if (!api || !isFloating) return false;
    *api = CLAP_WINDOW_API_WIN32;
    *isFloating = false;
    return true;
}
bool CLAP_ABI createEntry(const clap_plugin_t* plugin, const char* api, bool isFloating) {
    return embeddedWin32(api, isFloating) && ClapPlugin::of(plugin).createGui();
}
void CLAP_ABI destroyEntry(const clap_plugin_t* plugin) { ClapPlugin::of(plugin).destroyGui(); }
bool CLAP_ABI setScaleEntry(const clap_plugin_t*, double) { return false; }
bool CLAP_ABI sizeEntry(const clap_plugin_t* plugin, std::uint32_t* width, std::uint32_t* height) {
    return width && height && ClapPlugin::of(plugin).guiSize(*width, *height);
}
bool CLAP_ABI canResizeEntry(const clap_plugin_t*) { return false; }
bool CLAP_ABI resizeHintsEntry(const clap_plugin_t*, clap_gui_resize_hints_t*) { return false; }
bool CLAP_ABI adjustSizeEntry(const clap_plugin_t*, std::uint32_t*, std::uint32_t*) { return false; }
bool CLAP_ABI setSizeEntry(const clap_plugin_t* plugin, std::uint32_t width, std::uint32_t height) {
    std::uint32_t fixedWidth = 0, fixedHeight = 0;
    return ClapPlugin::of(plugin).guiSize(fixedWidth, fixedHeight) && width == fixedWidth &&
           height == fixedHeight;
}
bool CLAP_ABI setParentEntry(const clap_plugin_t* plugin, const clap_window_t* window) {
    return window && embeddedWin32(window->api, false) && ClapPlugin::of(plugin).openGui(window->win32);
}
bool CLAP_ABI setTransientEntry(const clap_plugin_t*, const clap_window_t*) { return false; }
void CLAP_ABI suggestTitleEntry(const clap_plugin_t*, const char*) {}
// An embedded window shows and hides with the host's.
bool CLAP_ABI showEntry(const clap_plugin_t*) { return true; }
bool CLAP_ABI hideEntry(const clap_plugin_t*) { return true; }

void CLAP_ABI timerEntry(const clap_plugin_t* plugin, clap_id timer) {
    ClapPlugin::of(plugin).onTimer(timer);
}
} // namespace

const clap_plugin_gui_t kClapGui = {isApiSupportedEntry, preferredApiEntry, createEntry,    destroyEntry,
                                    setScaleEntry,       sizeEntry,         canResizeEntry, resizeHintsEntry,
                                    adjustSizeEntry,     setSizeEntry,      setParentEntry, setTransientEntry,
                                    suggestTitleEntry,   showEntry,         hideEntry};
const clap_plugin_timer_support_t kClapTimerSupport = {timerEntry};

// Often enough that a click reaches the host's automation at once, seldom enough to cost nothing.
constexpr std::uint32_t kEditTimerPeriod = 50;

bool ClapPlugin::createGui() {
    if (!editor_) return false;
    if (!guiCreated_ && hostTimers_ && hostTimers_->register_timer &&
        !hostTimers_->register_timer(host_, kEditTimerPeriod, &editTimer_))
        editTimer_ = CLAP_INVALID_ID;
    guiCreated_ = true;
    return true;
}

void ClapPlugin::destroyGui() {
    if (editor_) editor_->close();
    if (editTimer_ != CLAP_INVALID_ID && hostTimers_->unregister_timer)
        hostTimers_->unregister_timer(host_, editTimer_);
    editTimer_ = CLAP_INVALID_ID;
    guiCreated_ = false;
}

bool ClapPlugin::guiSize(std::uint32_t& width, std::uint32_t& height) const {
    if (!editor_) return false;
    width = static_cast<std::uint32_t>(editor_->width());
    height = static_cast<std::uint32_t>(editor_->height());
    return true;
}

bool ClapPlugin::openGui(void* parentWindow) {
    return guiCreated_ && parentWindow && editor_->open(parentWindow);
}

void ClapPlugin::onTimer(clap_id timer) {
    if (timer == editTimer_) edits_.requestFlushIfPending();
}
