#include "HostedEffect.h"

#include <algorithm>

HostedEffect::HostedEffect(PluginMain entry) : effect_(entry(RecordingHost::callback)) {}

HostedEffect::~HostedEffect() {
    if (effect_) close();
}

VstIntPtr HostedEffect::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                                 float opt) const {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

VstIntPtr HostedEffect::close() {
    VstIntPtr reply = effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    effect_ = nullptr;
    return reply;
}

std::string HostedEffect::text(std::int32_t opcode, std::int32_t index, VstIntPtr value) const {
    char buffer[256] = {};
    dispatch(opcode, index, value, buffer);
    return buffer;
}

void HostedEffect::renameProgram(const std::string& name) const {
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    dispatch(effSetProgramName, 0, 0, buffer.data());
}

std::vector<std::string> HostedEffect::displays() const {
    std::vector<std::string> texts;
    for (std::int32_t index = 0; index < 6; ++index)
        texts.push_back(display(index));
    return texts;
}

namespace {
// The host passes channel pointers as float**, inputs included.
std::vector<float*> channelPointers(const ChannelBuffers& buffers, std::size_t first) {
    std::vector<float*> pointers;
    for (const std::vector<float>& channel : buffers)
        pointers.push_back(const_cast<float*>(channel.data()) + first);
    return pointers;
}

std::int32_t blockLength(std::size_t total, std::size_t first, std::int32_t blockSize) {
    return static_cast<std::int32_t>(
        std::min<std::size_t>(static_cast<std::size_t>(blockSize), total - first));
}
} // namespace

ChannelBuffers HostedEffect::replacing(const ChannelBuffers& input, std::int32_t blockSize) const {
    ChannelBuffers output = silence(static_cast<std::int32_t>(input.size()), input[0].size());
    for (std::size_t first = 0; first < input[0].size(); first += static_cast<std::size_t>(blockSize))
        replacingBlock(input, output, first, blockLength(input[0].size(), first, blockSize));
    return output;
}

void HostedEffect::replacingBlock(const ChannelBuffers& input, ChannelBuffers& output, std::size_t first,
                                  std::int32_t frames) const {
    std::vector<float*> inputs = channelPointers(input, first);
    std::vector<float*> outputs = channelPointers(output, first);
    effect_->processReplacing(effect_, inputs.data(), outputs.data(), frames);
}

void HostedEffect::accumulating(const ChannelBuffers& input, ChannelBuffers& output,
                                std::int32_t blockSize) const {
    for (std::size_t first = 0; first < input[0].size(); first += static_cast<std::size_t>(blockSize)) {
        std::vector<float*> inputs = channelPointers(input, first);
        std::vector<float*> outputs = channelPointers(output, first);
        effect_->process(effect_, inputs.data(), outputs.data(),
                         blockLength(input[0].size(), first, blockSize));
    }
}

ChannelBuffers silence(std::int32_t channels, std::size_t frames) {
    return ChannelBuffers(static_cast<std::size_t>(channels), std::vector<float>(frames, 0.0f));
}

void PluginTest::SetUp() {
    RecordingHost::reset();
    library_ = std::make_unique<PluginLibrary>(build().fileName);
    ASSERT_TRUE(library_->loaded()) << "cannot load " << library_->path() << " (error " << GetLastError()
                                    << ")";
    ASSERT_NE(library_->entry(), nullptr) << library_->path() << " has no export main";
}

std::unique_ptr<HostedEffect> PluginTest::instantiate() const {
    return std::make_unique<HostedEffect>(library_->entry());
}

std::string buildLabel(const testing::TestParamInfo<PluginBuild>& info) { return info.param.label; }
