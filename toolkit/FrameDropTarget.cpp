#include "toolkit/FrameDropTarget.h"

#include "toolkit/Frame.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kNameCapacity = 1024;
constexpr int kWidePathCapacity = 2048;
// No user interface, any match, at most 500 ms (high word) spent searching for a moved target.
const DWORD kResolveFlags = static_cast<DWORD>(SLR_NO_UI) | static_cast<DWORD>(SLR_ANY_MATCH) | (500u << 16);

FORMATETC formatFor(CLIPFORMAT format) { return {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

// Never a move: a source that performs moves would delete what was dragged. Copy only where the source allows
// it.
DWORD copyIf(bool accepted, DWORD allowed) {
    return accepted && (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

bool endsWithShortcutExtension(const char* path) {
    const char* dot = std::strrchr(path, '.');
    return dot && lstrcmpiA(dot, ".lnk") == 0;
}

} // namespace

FrameDropTarget::FrameDropTarget(Frame* frame) : frame_(frame) {}

FrameDropTarget::~FrameDropTarget() = default;

HRESULT STDMETHODCALLTYPE FrameDropTarget::QueryInterface(REFIID iid, void** object) {
    if (IsEqualIID(iid, IID_IDropTarget) || IsEqualIID(iid, IID_IUnknown)) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FrameDropTarget::AddRef() { return static_cast<ULONG>(++refCount_); }

ULONG STDMETHODCALLTYPE FrameDropTarget::Release() {
    if (--refCount_ <= 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(refCount_);
}

HRESULT STDMETHODCALLTYPE FrameDropTarget::DragEnter(IDataObject* dataObject, DWORD keyState, POINTL point,
                                                     DWORD* effect) {
    FORMATETC text = formatFor(CF_TEXT);
    FORMATETC files = formatFor(CF_HDROP);
    accept_ =
        dataObject && (dataObject->QueryGetData(&text) == S_OK || dataObject->QueryGetData(&files) == S_OK);
    return DragOver(keyState, point, effect);
}

HRESULT STDMETHODCALLTYPE FrameDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    *effect = copyIf(accept_, *effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FrameDropTarget::DragLeave() { return S_OK; }

HRESULT STDMETHODCALLTYPE FrameDropTarget::Drop(IDataObject* dataObject, DWORD, POINTL, DWORD* effect) {
    bool taken = false;
    if (frame_ && dataObject) {
        FORMATETC text = formatFor(CF_TEXT);
        FORMATETC files = formatFor(CF_HDROP);
        STGMEDIUM medium{};
        bool isText = true;
        HRESULT fetched = dataObject->GetData(&text, &medium);
        if (fetched != S_OK) {
            isText = false;
            fetched = dataObject->GetData(&files, &medium);
        }
        if (fetched == S_OK) {
            if (medium.hGlobal) taken = isText ? dropText(medium.hGlobal) : dropFiles(medium.hGlobal);
            ReleaseStgMedium(&medium);
        }
    }
    *effect = copyIf(taken, *effect);
    DragLeave();
    return S_OK;
}

bool FrameDropTarget::dropFiles(HGLOBAL files) {
    HDROP drop = static_cast<HDROP>(files);
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return false;
    std::vector<std::string> names;
    char name[kNameCapacity];
    for (UINT i = 0; i < count; ++i) {
        if (DragQueryFileA(drop, i, name, kNameCapacity) == 0) continue;
        resolveShortcut(name, name, kNameCapacity);
        names.emplace_back(name);
    }
    std::vector<void*> data;
    for (std::string& each : names)
        data.push_back(each.data());
    Point position;
    frame_->cursorPosition(position);
    return frame_->dropData(data.data(), static_cast<int>(data.size()), kDropKindFiles, position);
}

bool FrameDropTarget::dropText(HGLOBAL text) {
    void* bytes = GlobalLock(text);
    const SIZE_T size = GlobalSize(text);
    bool taken = false;
    if (bytes && size) {
        Point position;
        frame_->cursorPosition(position);
        void* data[1] = {bytes};
        taken = frame_->dropData(data, static_cast<int>(size), kDropKindText, position);
    }
    if (bytes) GlobalUnlock(text);
    return taken;
}

bool FrameDropTarget::resolveShortcut(const char* path, char* out, int outCapacity) {
    if (!endsWithShortcutExtension(path)) return false;
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      reinterpret_cast<void**>(&link));
    if (FAILED(result)) return false;
    IPersistFile* file = nullptr;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(result)) {
        WCHAR widePath[kWidePathCapacity];
        if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, kWidePathCapacity) == 0) {
            result = E_FAIL;
        } else {
            result = file->Load(widePath, 0);
        }
        if (SUCCEEDED(result)) result = link->Resolve(nullptr, kResolveFlags);
        if (SUCCEEDED(result)) {
            // GetPath must not leave a partial name in out when it fails.
            char target[MAX_PATH * 4];
            WIN32_FIND_DATAA found;
            result = link->GetPath(target, sizeof target, &found, SLGP_SHORTPATH);
            if (result == S_OK && static_cast<int>(std::strlen(target)) < outCapacity) {
                std::memcpy(out, target, std::strlen(target) + 1);
            } else if (SUCCEEDED(result)) {
                result = E_FAIL;
            }
        }
        file->Release();
    }
    link->Release();
    return SUCCEEDED(result);
}
