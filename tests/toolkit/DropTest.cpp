// Drag and drop through the frame's registered OLE drop target, with a test IDataObject carrying text or a
// real CF_HDROP file list, and real shortcut files made with the shell's link object.
#include "ToolkitTestSupport.h"

#include "toolkit/Frame.h"
#include "toolkit/FrameDropTarget.h"

#include <gtest/gtest.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

// COM objects are released through their interface and never deleted through it.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace {

// Counts how often OLE gives a storage medium back through its release interface.
class MediumOwner : public IUnknown {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override {
        ++releases;
        return 1;
    }
    int releases = 0;
};

// Offers one HGLOBAL format; every GetData hands out a fresh copy owned by the receiver (or by owner).
class TestDataObject : public IDataObject {
  public:
    TestDataObject(CLIPFORMAT offered, std::vector<char> bytes)
        : format(offered), content(std::move(bytes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* wanted, STGMEDIUM* medium) override {
        requested.push_back(wanted->cfFormat);
        if (QueryGetData(wanted) != S_OK) return DV_E_FORMATETC;
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, content.size());
        std::memcpy(GlobalLock(copy), content.data(), content.size());
        GlobalUnlock(copy);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = owner;
        if (owner) owner->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* wanted) override {
        const bool match = wanted->cfFormat == format && (wanted->tymed & TYMED_HGLOBAL) &&
                           wanted->dwAspect == DVASPECT_CONTENT && wanted->lindex == -1 && !wanted->ptd;
        return match ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    CLIPFORMAT format;
    std::vector<char> content;
    IUnknown* owner = nullptr;
    std::vector<CLIPFORMAT> requested;
};

std::vector<char> textBytes(const char* text) {
    return std::vector<char>(text, text + std::strlen(text) + 1);
}

// A DROPFILES block with ANSI names, as the shell hands it over.
std::vector<char> fileListBytes(const std::vector<std::string>& names) {
    std::vector<char> bytes(sizeof(DROPFILES), 0);
    auto* header = reinterpret_cast<DROPFILES*>(bytes.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    for (const std::string& name : names)
        bytes.insert(bytes.end(), name.c_str(), name.c_str() + name.size() + 1);
    bytes.push_back('\0');
    return bytes;
}

std::string tempPath(const char* name) {
    char directory[MAX_PATH];
    GetTempPathA(sizeof directory, directory);
    return std::string(directory) + name;
}

// Makes a real shortcut file pointing at target.
void makeShortcut(const std::string& shortcut, const std::string& target) {
    IShellLinkA* link = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                               reinterpret_cast<void**>(&link)),
              S_OK);
    ASSERT_EQ(link->SetPath(target.c_str()), S_OK);
    IPersistFile* file = nullptr;
    ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
    WCHAR widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, shortcut.c_str(), -1, widePath, MAX_PATH);
    ASSERT_EQ(file->Save(widePath, TRUE), S_OK);
    file->Release();
    link->Release();
}

struct DropBench {
    std::vector<std::string> log; // outlives the frame, whose children log their detachment
    HostWindow host{200, 150, 300, 200};
    Frame frame{{0, 0, 300, 200}, host.handle(), nullptr};
    RecordingView* view = nullptr;
    IDropTarget* target = nullptr;

    DropBench() {
        view = new RecordingView({0, 0, 300, 200}, "view", &log);
        frame.addChild(view);
        view->dropAnswer = true;
        target = frame.dropTarget();
        SetCursorPos(200 + 40, 150 + 30);
        log.clear();
    }
};

constexpr DWORD kAnyEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

DWORD enterEffect(IDropTarget* target, IDataObject* data, DWORD keyState, DWORD allowed = kAnyEffect) {
    DWORD effect = allowed;
    EXPECT_EQ(target->DragEnter(data, keyState, POINTL{240, 180}, &effect), S_OK);
    return effect;
}

// Plays the system's part for a source that allows copy and move and, as a text editor does, deletes what was
// dragged when the drop answers move. Returns the answers to enter, over and drop.
std::vector<DWORD> dragFromMovingSource(IDropTarget* target, TestDataObject& source, DWORD keyState) {
    DWORD enter = DROPEFFECT_COPY | DROPEFFECT_MOVE, over = enter, drop = enter;
    target->DragEnter(&source, keyState, POINTL{240, 180}, &enter);
    target->DragOver(keyState, POINTL{240, 180}, &over);
    target->Drop(&source, keyState, POINTL{240, 180}, &drop);
    if (drop & DROPEFFECT_MOVE) source.content.clear();
    return {enter, over, drop};
}

} // namespace

TEST(FrameDrop, TheWindowIsRegisteredWithTheFramesTarget) {
    DropBench bench;
    ASSERT_NE(bench.target, nullptr);
    EXPECT_EQ(RegisterDragDrop(bench.frame.window(), bench.target), DRAGDROP_E_ALREADYREGISTERED);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(bench.target->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(bench.target));
    unknown->Release();
    IDropTarget* again = nullptr;
    EXPECT_EQ(bench.target->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&again)), S_OK);
    again->Release();
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(bench.target->QueryInterface(IID_IDataObject, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST(FrameDrop, CopyForTextAndFilesNoneForAnythingElseNeverMove) {
    DropBench bench;
    TestDataObject text(CF_TEXT, textBytes("hello"));
    TestDataObject files(CF_HDROP, fileListBytes({"C:\\a.txt"}));
    TestDataObject picture(CF_BITMAP, textBytes("none"));
    struct Case {
        IDataObject* data;
        DWORD keyState;
        DWORD allowed;
        DWORD expected;
    };
    const Case cases[] = {
        {&text, 0, kAnyEffect, DROPEFFECT_COPY},
        {&text, MK_CONTROL, kAnyEffect, DROPEFFECT_COPY},
        {&files, MK_LBUTTON, kAnyEffect, DROPEFFECT_COPY},
        {&files, MK_LBUTTON | MK_SHIFT, kAnyEffect, DROPEFFECT_COPY},
        {&text, 0, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {&picture, 0, kAnyEffect, DROPEFFECT_NONE},
        {&picture, MK_CONTROL, kAnyEffect, DROPEFFECT_NONE},
        {nullptr, MK_CONTROL, kAnyEffect, DROPEFFECT_NONE},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&each - cases));
        EXPECT_EQ(enterEffect(bench.target, each.data, each.keyState, each.allowed), each.expected);
        // Still the same while the data is dragged about, with any keys.
        DWORD effect = each.allowed;
        EXPECT_EQ(bench.target->DragOver(each.keyState ^ MK_CONTROL, POINTL{0, 0}, &effect), S_OK);
        EXPECT_EQ(effect, each.expected);
    }
    EXPECT_EQ(bench.target->DragLeave(), S_OK);
    EXPECT_TRUE(bench.log.empty()) << "hovering delivers nothing";
}

TEST(FrameDrop, ASourceThatMovesKeepsWhatWasDragged) {
    for (bool taken : {true, false}) {
        for (DWORD keyState : {DWORD{0}, DWORD{MK_CONTROL}, DWORD{MK_SHIFT}}) {
            SCOPED_TRACE(testing::Message() << "taken " << taken << ", keys " << keyState);
            DropBench bench;
            bench.view->dropAnswer = taken;
            TestDataObject text(CF_TEXT, textBytes("dragged words"));
            const DWORD dropped = taken ? DROPEFFECT_COPY : DROPEFFECT_NONE;
            EXPECT_EQ(dragFromMovingSource(bench.target, text, keyState),
                      (std::vector<DWORD>{DROPEFFECT_COPY, DROPEFFECT_COPY, dropped}));
            EXPECT_EQ(text.content, textBytes("dragged words"));
            EXPECT_EQ(bench.log, (std::vector<std::string>{"view dropData"}));
        }
    }
}

TEST(FrameDrop, DroppedTextReachesTheViewUnderTheCursorAndTheMediumIsReleased) {
    DropBench bench;
    TestDataObject text(CF_TEXT, textBytes("dropped words"));
    MediumOwner owner;
    text.owner = &owner;
    DWORD effect = 0;
    enterEffect(bench.target, &text, 0);
    EXPECT_EQ(bench.target->Drop(&text, 0, POINTL{240, 180}, &effect), S_OK);
    EXPECT_EQ(bench.log, (std::vector<std::string>{"view dropData"}));
    EXPECT_EQ(bench.view->droppedKind, kDropKindText);
    EXPECT_EQ(bench.view->droppedText, "dropped words");
    EXPECT_GE(bench.view->droppedCount, 14) << "the size of the global block";
    EXPECT_EQ(bench.view->lastPoint.h, 40);
    EXPECT_EQ(bench.view->lastPoint.v, 30);
    EXPECT_EQ(owner.releases, 1);
    EXPECT_EQ(text.requested, (std::vector<CLIPFORMAT>{CF_TEXT}));
}

TEST(FrameDrop, DroppedFilesArriveInOrderWithShortcutsResolved) {
    DropBench bench;
    const std::string target = tempPath("toolkit drop target.txt");
    HANDLE created = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    CloseHandle(created);
    const std::string shortcut = tempPath("Toolkit Link.lnk");
    makeShortcut(shortcut, target);
    char shortTarget[MAX_PATH];
    ASSERT_NE(GetShortPathNameA(target.c_str(), shortTarget, MAX_PATH), 0u);
    const std::string stem = shortcut.substr(0, shortcut.size() - 4);

    const std::vector<std::string> names = {
        "C:\\plain.txt",           stem + ".lnk",     stem + ".LNK",      stem + ".LnK",
        "C:\\not a shortcut.lnkx", "C:\\missing.lnk", "C:\\no extension",
    };
    TestDataObject files(CF_HDROP, fileListBytes(names));
    DWORD effect = 0;
    enterEffect(bench.target, &files, 0);
    EXPECT_EQ(bench.target->Drop(&files, 0, POINTL{0, 0}, &effect), S_OK);
    EXPECT_EQ(files.requested, (std::vector<CLIPFORMAT>{CF_TEXT, CF_HDROP}));
    ASSERT_EQ(bench.log, (std::vector<std::string>{"view dropData"}));
    EXPECT_EQ(bench.view->droppedKind, kDropKindFiles);
    EXPECT_EQ(bench.view->droppedCount, 7);
    // The link object is asked for the short form; a system may answer with the long one. Either names the
    // target.
    const auto shortForm = [](const std::string& name) {
        char form[MAX_PATH] = "";
        GetShortPathNameA(name.c_str(), form, MAX_PATH);
        return std::string(form);
    };
    const std::vector<std::string>& dropped = bench.view->droppedNames;
    ASSERT_EQ(dropped.size(), 7u);
    for (std::size_t i : {0u, 4u, 5u, 6u})
        EXPECT_EQ(dropped[i], names[i]);
    for (std::size_t i : {1u, 2u, 3u}) {
        EXPECT_EQ(shortForm(dropped[i]), shortTarget) << dropped[i];
        EXPECT_TRUE(dropped[i] == shortTarget || dropped[i] == target) << dropped[i];
    }

    char resolved[1024];
    std::strcpy(resolved, "unchanged");
    EXPECT_FALSE(FrameDropTarget::resolveShortcut("C:\\missing.lnk", resolved, sizeof resolved));
    EXPECT_STREQ(resolved, "unchanged");
    EXPECT_TRUE(FrameDropTarget::resolveShortcut(shortcut.c_str(), resolved, sizeof resolved));
    EXPECT_EQ(std::string(resolved), dropped[1]);
    DeleteFileA(shortcut.c_str());
    DeleteFileA(target.c_str());
}

TEST(FrameDrop, NothingIsDeliveredWhileAViewHoldsTheFocus) {
    DropBench bench;
    bench.frame.setFocusView(bench.view);
    bench.log.clear();
    TestDataObject text(CF_TEXT, textBytes("ignored"));
    DWORD effect = 0;
    EXPECT_EQ(bench.target->Drop(&text, 0, POINTL{0, 0}, &effect), S_OK);
    EXPECT_TRUE(bench.log.empty());
}
