#include "core/LimiterCore.h"

#include "core/TextCopy.h"
#include "dsp/ParameterCurves.h"

#include <algorithm>
#include <cmath>
#include <cstring>

static_assert(kLatencySamples == LimiterPath<kChannelCount>::kLatency, "the latency the formats report");
static_assert(kMeterCount == LimiterPath<kChannelCount>::kMeterCount, "the meter slots the path publishes");

namespace {

constexpr char kStateTag[4] = {'Q', 'V', '3', 'S'};
constexpr std::uint32_t kStateVersion = 1;
constexpr std::size_t kStateHeaderSize = 16;
constexpr std::size_t kStateProgramSize = kParameterIdCount * 4 + kProgramNameSize;
constexpr std::size_t kStateSize = kStateHeaderSize + kProgramCount * kStateProgramSize;

void putWord(std::vector<std::uint8_t>& bytes, std::uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(word >> shift));
}

std::uint32_t wordAt(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatOf(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

ParameterValue& slotOf(LimiterProgram& program, ParameterId id) {
    switch (id) {
    case ParameterId::kMakeup:
        return program.makeup;
    case ParameterId::kCeiling:
        return program.ceiling;
    case ParameterId::kReleaseSwitch:
        return program.relSwitch;
    case ParameterId::kAutoRelease:
        return program.autoRelease;
    case ParameterId::kManualRelease:
        return program.manualRelease;
    case ParameterId::kClipSwitch:
        return program.clipSwitch;
    case ParameterId::kMonitor:
    default:
        return program.monitor;
    }
}

const ParameterValue& slotOf(const LimiterProgram& program, ParameterId id) {
    return slotOf(const_cast<LimiterProgram&>(program), id);
}

ParameterId idAt(int index) { return static_cast<ParameterId>(index); }

} // namespace

LimiterCore::LimiterCore() : programs_{}, path_(*this) {
    std::copy(kFactoryPrograms, kFactoryPrograms + kProgramCount, programs_);
    deriveSettings(valuesOf(currentSlot()), true);
}

void LimiterCore::setSampleRate(double sampleRate) { path_.setSampleRate(static_cast<float>(sampleRate)); }

void LimiterCore::reset() { path_.reset(); }

void LimiterCore::process(const float* const* inputs, float* const* outputs,
                          std::int32_t frames) QV3_NONBLOCKING {
    followStoredValues();
    path_.processReplacing(inputs, outputs, frames);
}

void LimiterCore::processAccumulating(const float* const* inputs, float* const* outputs,
                                      std::int32_t frames) QV3_NONBLOCKING {
    followStoredValues();
    path_.processAccumulating(inputs, outputs, frames);
}

float LimiterCore::value(ParameterId id) const QV3_NONBLOCKING {
    if (!isParameterId(static_cast<std::uint32_t>(id))) return 0.0f;
    return slotOf(currentSlot(), id);
}

void LimiterCore::setValue(ParameterId id, float value) QV3_NONBLOCKING {
    // A NaN or infinite value would turn the derived gains, and so every output sample, into NaN.
    if (!std::isfinite(value) || !isParameterId(static_cast<std::uint32_t>(id))) return;
    // The one store is the whole change; the signal path derives its settings from it.
    slotOf(currentSlot(), id) = value;
}

int LimiterCore::currentProgram() const { return currentProgram_.load(std::memory_order_relaxed); }

void LimiterCore::selectProgram(int index) QV3_NONBLOCKING {
    if (index < 0 || index >= kProgramCount) return;
    // The selected program's slot is the live state from here on: nothing is copied or written, so a value
    // change racing the selection lands in one program or the other, whole.
    currentProgram_.store(index, std::memory_order_relaxed);
    announceCurrentProgram();
}

void LimiterCore::programName(int index, char* name) const {
    if (index < 0 || index >= kProgramCount) {
        name[0] = '\0';
        return;
    }
    copyText(name, programs_[index].name, kProgramNameSize);
}

void LimiterCore::renameProgram(const char* name) { copyText(currentSlot().name, name, kProgramNameSize); }

std::vector<std::uint8_t> LimiterCore::saveState() const {
    std::vector<std::uint8_t> bytes(kStateTag, kStateTag + sizeof kStateTag);
    bytes.reserve(kStateSize);
    putWord(bytes, kStateVersion);
    putWord(bytes, static_cast<std::uint32_t>(kChannelCount));
    putWord(bytes, static_cast<std::uint32_t>(currentProgram()));
    for (const LimiterProgram& program : programs_) {
        for (int index = 0; index < kParameterIdCount; ++index)
            putWord(bytes, bitsOf(slotOf(program, idAt(index))));
        char name[kProgramNameSize] = {};
        copyText(name, program.name, kProgramNameSize);
        bytes.insert(bytes.end(), name, name + kProgramNameSize);
    }
    return bytes;
}

bool LimiterCore::loadState(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!bytes || size < kStateHeaderSize || std::memcmp(bytes, kStateTag, sizeof kStateTag) != 0)
        return false;
    if (wordAt(bytes + 4) != kStateVersion || wordAt(bytes + 8) != static_cast<std::uint32_t>(kChannelCount))
        return false;
    const std::uint32_t current = wordAt(bytes + 12);
    if (size != kStateSize || current >= static_cast<std::uint32_t>(kProgramCount)) return false;
    // Everything is checked before anything is stored, so a refused state leaves the bank as it was.
    for (int program = 0; program < kProgramCount; ++program) {
        const std::uint8_t* record = bytes + kStateHeaderSize + program * kStateProgramSize;
        for (int index = 0; index < kParameterIdCount; ++index)
            if (!std::isfinite(floatOf(wordAt(record + 4 * index)))) return false;
        if (!std::memchr(record + kParameterIdCount * 4, '\0', kProgramNameSize)) return false;
    }
    for (int program = 0; program < kProgramCount; ++program) {
        const std::uint8_t* record = bytes + kStateHeaderSize + program * kStateProgramSize;
        for (int index = 0; index < kParameterIdCount; ++index)
            slotOf(programs_[program], idAt(index)) = floatOf(wordAt(record + 4 * index));
        copyText(programs_[program].name, reinterpret_cast<const char*>(record + kParameterIdCount * 4),
                 kProgramNameSize);
    }
    currentProgram_.store(static_cast<int>(current), std::memory_order_relaxed);
    announceCurrentProgram();
    return true;
}

double LimiterCore::meterValue(int slot) const { return path_.meterValue(slot); }

void LimiterCore::setListener(ValueListener* listener) {
    listener_.store(listener, std::memory_order_relaxed);
}

void LimiterCore::publishMeter(std::int32_t index, float value) QV3_NONBLOCKING {
    path_.storeMeterValue(index, value);
}

void LimiterCore::announceCurrentProgram() QV3_NONBLOCKING {
    ValueListener* listener = listener_.load(std::memory_order_relaxed);
    if (!listener) return;
    const LimiterProgram& current = currentSlot();
    for (int index = 0; index < kParameterIdCount; ++index)
        listener->valueChanged(idAt(index), slotOf(current, idAt(index)));
}

LimiterCore::PathValues LimiterCore::valuesOf(const LimiterProgram& p) {
    return {p.makeup, p.ceiling, p.relSwitch, p.manualRelease, p.autoRelease, p.clipSwitch, p.monitor};
}

void LimiterCore::followStoredValues() QV3_NONBLOCKING {
    const PathValues values = valuesOf(currentSlot());
    if (std::memcmp(&values, &pathValues_, sizeof values) != 0) deriveSettings(values, false);
}

void LimiterCore::deriveSettings(const PathValues& values, bool all) QV3_NONBLOCKING {
    // Compared bit for bit: a value is derived again exactly when it is not the one derived from before.
    const auto changed = [&](const float& value, const float& before) {
        return all || std::memcmp(&value, &before, sizeof value) != 0;
    };
    const PathValues& before = pathValues_;
    if (changed(values.makeup, before.makeup)) path_.setMakeupGain(makeupGainFor(values.makeup));
    if (changed(values.ceiling, before.ceiling)) path_.setCeilingGain(ceilingGainFor(values.ceiling));
    if (changed(values.relSwitch, before.relSwitch)) path_.setReleaseSwitch(values.relSwitch);
    if (changed(values.manualRelease, before.manualRelease)) path_.applyManualRelease(values.manualRelease);
    if (changed(values.autoRelease, before.autoRelease)) path_.applyAutoRelease(values.autoRelease);
    if (changed(values.clipSwitch, before.clipSwitch)) path_.setClipSwitch(values.clipSwitch);
    if (changed(values.monitor, before.monitor)) path_.setMonitor(values.monitor);
    pathValues_ = values;
}
