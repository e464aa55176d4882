#pragma once
// The activation list: session numbers in the order their windows were last activated, most
// recent first. Ctrl+Tab walks it with NextKey; an activation puts the window's number in front
// and starts the walk again from there, so the first NextKey answers the previously active window.

#include "runtime/error.h"

#include <vector>

class OrderedList
{
public:
    OrderedList();

    // Empties the list.
    void Reset();
    // Puts key in front (a key already in the list is kept there too) and restarts the walk.
    // More than 32767 keys overflow (6).
    void Add(rt::Int key);
    // Takes the first occurrence of key out; a key not in the list changes nothing.
    void Remove(rt::Int key);
    // The next key of the walk, going back in activation order and round to the front again;
    // -1 when the list is empty.
    rt::Int NextKey();
    // Moves the first occurrence of key to the front and restarts the walk; a key not in the
    // list changes nothing.
    void SetTop(rt::Int key);

    rt::Int Count() const { return m_count; }
    // The key at a position from 0 (the front), for callers that show the order.
    rt::Int Key(rt::Int position) const { return m_keys.at(size_t(position)); }

private:
    // Position of the first occurrence of key, -1 when none.
    rt::Int find(rt::Int key) const;

    std::vector<rt::Int> m_keys; // positions 0 .. m_count - 1 are in use
    rt::Int m_count = 0;
    rt::Int m_cursor = 0; // the position NextKey answered last
};
