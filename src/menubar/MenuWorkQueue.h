#pragma once
// The menu-bar walk's work queue and its set-aside list.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/Accessibility.h"

namespace kivora {

// Taking an element off the queue removes every other queued entry of that same handle
// (handles are compared by pointer). Such an entry could never be visited: it leaves the
// queue, unvisited, when the first one is taken off. So the queue simply never holds a handle
// twice: pushing a handle that is already queued changes nothing. That keeps removal O(1)
// without scanning, however often a menu lists one element or however a cycle feeds it back.
//
// A removal applies to the queue only, never to the set-aside list, so "already queued" is
// kept per list. Both lists only ever move whole (the queue into an empty set-aside list and
// back into an empty queue), so each list carries a generation number and a handle records
// the generations that hold it: at most the two alive, so two places per handle suffice.
//
// A null handle stands for a child that is not an element: always queued, one entry each.
class MenuWorkQueue {
public:
    bool queueEmpty() const { return queue_.entries.empty(); }
    bool setAsideEmpty() const { return setAside_.entries.empty(); }
    std::size_t queueSize() const { return queue_.entries.size(); }
    std::size_t size() const { return queue_.entries.size() + setAside_.entries.size(); }

    // Makes room for this many distinct handles up front.
    void reserve(std::size_t handles);
    // Appends to the back of the queue, unless the handle is queued already.
    void push(AXUIElementRef element);
    // Takes the front entry off. Requires !queueEmpty().
    AXUIElementRef pop();

    // The whole queue becomes the set-aside list. Requires setAsideEmpty().
    void setQueueAside();
    // The whole set-aside list becomes the queue. Requires queueEmpty().
    void restoreSetAside();

private:
    static constexpr std::size_t kNoHandle = SIZE_MAX;

    struct Entry {
        AXUIElementRef element;
        std::size_t handle = kNoHandle;  // index into handles_
    };
    struct List {
        std::deque<Entry> entries;
        std::uint64_t generation = 0;
    };
    // The generations of the lists that hold the handle; 0 for none.
    struct Handle {
        std::uint64_t heldBy[2] = {0, 0};
    };
    struct IndexEntry {
        const AXUIElement* address = nullptr;  // null: a free place
        std::size_t handle = 0;
    };

    // The record of a handle, made on its first push. Keyed by address: the record of a
    // handle freed since is not held by any list, so it is as good as new for the next
    // handle at that address.
    std::size_t handleFor(const AXUIElement* address);
    void rebuildIndex(std::size_t places);

    List queue_{{}, 1};
    List setAside_{{}, 2};
    std::uint64_t nextGeneration_ = 3;
    std::vector<Handle> handles_;
    // Open addressing from address to index in handles_, at most three quarters full (a
    // fuller table is smaller and misses the cache less, for slightly longer probes). Looked up
    // once per push only: entries carry their handle's index.
    std::vector<IndexEntry> index_;
};

}  // namespace kivora
