// The temporary outputs an interrupt must remove, for the platform's handler: a POSIX signal handler, or the
// Windows console control handler on a thread of its own. Neither may allocate or lock, so the paths are kept
// in fixed buffers and each slot's state in a lock-free atomic.
#pragma once

#include "Platform.h"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

// Define the one instance at namespace scope: zero-initialised before any code runs, every slot starts free.
class TemporaryOutputSlots {
  public:
    using Character = std::filesystem::path::value_type;
    using Path = std::basic_string<Character>;
    // Characters a path may have, with its terminating null.
    static constexpr std::size_t kPathCapacity = 4096;

    // Reserves a slot for a file about to be created. Throws std::runtime_error when every slot is taken.
    int claim() {
        for (int slot = 0; slot < kMostTemporaryFiles; ++slot) {
            int expected = kFree;
            if (states_[slot].compare_exchange_strong(expected, kFilling)) return slot;
        }
        throw std::runtime_error("more than " + std::to_string(kMostTemporaryFiles) +
                                 " outputs open at once");
    }

    // Gives back a claimed slot whose file was not created.
    void abandon(int slot) { states_[slot].store(kFree); }

    // Hands the created file, a path shorter than kPathCapacity, to the handler.
    void fill(int slot, const Path& path) {
        path.copy(paths_[slot], path.size());
        paths_[slot][path.size()] = Character();
        states_[slot].store(kPending);
    }

    // Takes a file back from the handler once it has been renamed or removed.
    void release(const Path& path) {
        for (int slot = 0; slot < kMostTemporaryFiles; ++slot)
            if (states_[slot].load() == kPending && path == paths_[slot]) {
                states_[slot].store(kFree);
                return;
            }
    }

    // For the handler: calls remove(path) with every file handed to it.
    template <typename Remove> void removePending(Remove remove) const {
        for (int slot = 0; slot < kMostTemporaryFiles; ++slot)
            if (states_[slot].load() == kPending) remove(paths_[slot]);
    }

  private:
    // A slot is free, being filled by the thread that claimed it, or holds a path the handler may remove.
    enum State : int { kFree, kFilling, kPending };
    static_assert(std::atomic<int>::is_always_lock_free, "the interrupt handler reads the slot states");

    Character paths_[kMostTemporaryFiles][kPathCapacity];
    std::atomic<int> states_[kMostTemporaryFiles];
};
