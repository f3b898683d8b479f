#include "menubar/MenuWorkQueue.h"

#include <utility>

namespace kivora {

namespace {

std::size_t hashOf(const AXUIElement* address) {
    // Fibonacci hashing; the low bits of an address are alignment zeros.
    return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(address) >> 4) *
                                    0x9E3779B97F4A7C15ULL);
}

constexpr std::size_t kFirstIndexSize = 1024;

}  // namespace

void MenuWorkQueue::rebuildIndex(std::size_t places) {
    std::vector<IndexEntry> rebuilt(places);
    const std::size_t mask = places - 1;
    for (const IndexEntry& entry : index_) {
        if (entry.address != nullptr) {
            std::size_t at = hashOf(entry.address) & mask;
            while (rebuilt[at].address != nullptr) {
                at = (at + 1) & mask;
            }
            rebuilt[at] = entry;
        }
    }
    index_ = std::move(rebuilt);
}

void MenuWorkQueue::reserve(std::size_t handles) {
    handles_.reserve(handles);
    std::size_t places = kFirstIndexSize;
    while (places * 3 < handles * 4) {
        places *= 2;
    }
    if (places > index_.size()) {
        rebuildIndex(places);
    }
}

std::size_t MenuWorkQueue::handleFor(const AXUIElement* address) {
    if ((handles_.size() + 1) * 4 > index_.size() * 3) {
        rebuildIndex(index_.empty() ? kFirstIndexSize : index_.size() * 2);
    }
    const std::size_t mask = index_.size() - 1;
    std::size_t at = hashOf(address) & mask;
    while (index_[at].address != nullptr) {
        if (index_[at].address == address) {
            return index_[at].handle;
        }
        at = (at + 1) & mask;
    }
    index_[at] = IndexEntry{address, handles_.size()};
    handles_.emplace_back();
    return handles_.size() - 1;
}

void MenuWorkQueue::push(AXUIElementRef element) {
    std::size_t handle = kNoHandle;
    if (element) {
        handle = handleFor(element.get());
        std::uint64_t(&heldBy)[2] = handles_[handle].heldBy;
        if (heldBy[0] == queue_.generation || heldBy[1] == queue_.generation) {
            return;  // queued already
        }
        // At most the set-aside list holds it besides: the other place is free.
        (heldBy[0] == setAside_.generation ? heldBy[1] : heldBy[0]) = queue_.generation;
    }
    queue_.entries.push_back(Entry{std::move(element), handle});
}

AXUIElementRef MenuWorkQueue::pop() {
    Entry entry = std::move(queue_.entries.front());
    queue_.entries.pop_front();
    if (entry.handle != kNoHandle) {
        for (std::uint64_t& generation : handles_[entry.handle].heldBy) {
            if (generation == queue_.generation) {
                generation = 0;
            }
        }
    }
    return std::move(entry.element);
}

void MenuWorkQueue::setQueueAside() {
    std::swap(queue_, setAside_);
    queue_.generation = nextGeneration_++;
}

void MenuWorkQueue::restoreSetAside() {
    std::swap(queue_, setAside_);
    setAside_.generation = nextGeneration_++;
}

}  // namespace kivora
