// The module's exports: GetPluginFactory with this build's one class, and the load and unload entries hosts
// call by their plain names (InitDll and ExitDll on Windows, ModuleEntry and ModuleExit on Linux). On x86
// they are stdcall; the link names them without the decoration (vst3-exports.def).
#include "vst3/Vst3Effect.h"

#include "Version.h"
#include "core/BuildConfig.h"

#include <travesty/factory.h>

#include <cstdio>
#include <cstring>

namespace {
// Categories and flags as the VST3 ABI spells them.
constexpr const char* kAudioEffectCategory = "Audio Module Class";
constexpr const char* kSubCategories = "Fx|Dynamics";
constexpr const char* kAbiVersion = "VST 3.7";
constexpr int32_t kManyInstances = 0x7FFFFFFF;
constexpr int32_t kFactoryUnicode = 1 << 4;

template <std::size_t size> void copyText(char (&field)[size], const char* text) {
    std::snprintf(field, size, "%s", text);
}

// The factory is one static object: references to it count nothing.
v3_result V3_API queryInterfaceEntry(void* self, const v3_tuid iid, void** object) {
    if (!object) return V3_INVALID_ARG;
    const bool known = v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
                       v3_tuid_match(iid, v3_plugin_factory_2_iid) ||
                       v3_tuid_match(iid, v3_plugin_factory_3_iid);
    *object = known ? self : nullptr;
    return known ? V3_OK : V3_NO_INTERFACE;
}
uint32_t V3_API refEntry(void*) { return 1; }
uint32_t V3_API unrefEntry(void*) { return 1; }

v3_result V3_API factoryInfoEntry(void*, v3_factory_info* info) {
    if (!info) return V3_INVALID_ARG;
    *info = {};
    copyText(info->vendor, kVendorName);
    info->flags = kFactoryUnicode;
    return V3_OK;
}
int32_t V3_API classCountEntry(void*) { return 1; }
v3_result V3_API classInfoEntry(void*, int32_t index, v3_class_info* info) {
    if (index != 0 || !info) return V3_INVALID_ARG;
    *info = {};
    std::memcpy(info->class_id, Vst3Effect::kClassId, sizeof(v3_tuid));
    info->cardinality = kManyInstances;
    copyText(info->category, kAudioEffectCategory);
    copyText(info->name, kEffectName);
    return V3_OK;
}
v3_result V3_API classInfo2Entry(void*, int32_t index, v3_class_info_2* info) {
    if (index != 0 || !info) return V3_INVALID_ARG;
    *info = {};
    std::memcpy(info->class_id, Vst3Effect::kClassId, sizeof(v3_tuid));
    info->cardinality = kManyInstances;
    copyText(info->category, kAudioEffectCategory);
    copyText(info->name, kEffectName);
    copyText(info->sub_categories, kSubCategories);
    copyText(info->vendor, kVendorName);
    copyText(info->version, QV3_VERSION);
    copyText(info->sdk_version, kAbiVersion);
    return V3_OK;
}
v3_result V3_API classInfoUtf16Entry(void*, int32_t index, v3_class_info_3* info) {
    if (index != 0 || !info) return V3_INVALID_ARG;
    *info = {};
    std::memcpy(info->class_id, Vst3Effect::kClassId, sizeof(v3_tuid));
    info->cardinality = kManyInstances;
    copyText(info->category, kAudioEffectCategory);
    toHostText(kEffectName, info->name, 64);
    copyText(info->sub_categories, kSubCategories);
    toHostText(kVendorName, info->vendor, 64);
    toHostText(QV3_VERSION, info->version, 64);
    toHostText(kAbiVersion, info->sdk_version, 64);
    return V3_OK;
}
v3_result V3_API createInstanceEntry(void*, const v3_tuid classId, const v3_tuid iid, void** instance) {
    if (!instance) return V3_INVALID_ARG;
    *instance = nullptr;
    if (!classId || !iid || !v3_tuid_match(classId, Vst3Effect::kClassId)) return V3_NO_INTERFACE;
    auto* effect = new Vst3Effect();
    const v3_result result = effect->queryInterface(iid, instance);
    effect->unref(); // the creator's reference: what the host holds now keeps the effect
    return result;
}
v3_result V3_API hostContextEntry(void*, v3_funknown**) { return V3_OK; }

const v3_plugin_factory_cpp kFactoryTable = {
    {queryInterfaceEntry, refEntry, unrefEntry},
    {factoryInfoEntry, classCountEntry, classInfoEntry, createInstanceEntry},
    {classInfo2Entry},
    {classInfoUtf16Entry, hostContextEntry},
};
struct {
    const v3_plugin_factory_cpp* table;
} factory = {&kFactoryTable};
} // namespace

// Stable across releases: hosts find saved projects' instances by these.
const v3_tuid Vst3Effect::kClassId =
#if QV3_CHANNELS == 2
    V3_ID(0x6D587CB6, 0x0EF74A87, 0xA2B24F53, 0xEF8F4097);
#else
    V3_ID(0xEA671657, 0x4F6E4E60, 0x86927ED4, 0x37B28931);
#endif

#ifdef _WIN32
#define QV3_VST3_EXPORT extern "C"
#else
#define QV3_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QV3_VST3_EXPORT v3_plugin_factory** V3_API GetPluginFactory() {
    return reinterpret_cast<v3_plugin_factory**>(&factory);
}

#ifdef _WIN32
QV3_VST3_EXPORT bool V3_API InitDll() { return true; }
QV3_VST3_EXPORT bool V3_API ExitDll() { return true; }
#else
QV3_VST3_EXPORT bool ModuleEntry(void*) { return true; }
QV3_VST3_EXPORT bool ModuleExit() { return true; }
#endif
