// The state extension: the core's versioned bytes, written and read through the host's stream, which may
// take or give fewer bytes per call than asked.
#include "clap/ClapPlugin.h"

#include <cstdint>
#include <vector>

namespace {
// Far beyond any state this plug-in writes; a longer stream is not ours.
constexpr std::size_t kMaxStateSize = 1 << 16;

bool CLAP_ABI saveEntry(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    return stream && stream->write && ClapPlugin::of(plugin).saveState(*stream);
}
bool CLAP_ABI loadEntry(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    return stream && stream->read && ClapPlugin::of(plugin).loadState(*stream);
}
} // namespace

const clap_plugin_state_t kClapState = {saveEntry, loadEntry};

bool ClapPlugin::saveState(const clap_ostream_t& stream) const {
    const std::vector<std::uint8_t> bytes = core_.saveState();
    std::size_t written = 0;
    while (written < bytes.size()) {
        const std::int64_t count = stream.write(&stream, bytes.data() + written, bytes.size() - written);
        if (count <= 0 || static_cast<std::uint64_t>(count) > bytes.size() - written) return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

bool ClapPlugin::loadState(const clap_istream_t& stream) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (;;) {
        const std::int64_t count = stream.read(&stream, chunk, sizeof chunk);
        if (count == 0) break;
        if (count < 0 || static_cast<std::uint64_t>(count) > sizeof chunk ||
            bytes.size() + static_cast<std::size_t>(count) > kMaxStateSize)
            return false;
        bytes.insert(bytes.end(), chunk, chunk + count);
    }
    if (!core_.loadState(bytes.data(), bytes.size())) return false;
    rescanValues();
    return true;
}
