#pragma once

#include "platform/Timer.h"

#include <cstdint>
#include <vector>

// Runs a set of window timers in virtual time: each counting timer is due one interval
// after its countdown last started, and ticking it calls its handler directly. No real
// countdown is ever waited for.
class VirtualClock {
public:
    explicit VirtualClock(std::vector<Timer*> timers) {
        for (Timer* timer : timers)
            m_slots.push_back({timer, timer->Starts(), Due(*timer, 0)});
    }

    std::int64_t now() const { return m_now; }

    // Fires the next due timer, if it is due at or before `limit`; returns the timer fired.
    Timer* step(std::int64_t limit) {
        Slot* next = nullptr;
        for (Slot& slot : m_slots)
            if (slot.timer->isCounting() && (!next || slot.due < next->due))
                next = &slot;
        if (!next || next->due > limit)
            return nullptr;
        m_now = next->due;
        Timer* fired = next->timer;
        const std::uint64_t startsBefore = fired->Starts();
        fired->OnTimer();
        if (fired->Starts() == startsBefore)
            next->due = m_now + fired->Interval(); // a periodic timer keeps its rhythm
        resync();
        return fired;
    }

    // Fires every timer due up to `time` and stops there.
    void runUntil(std::int64_t time) {
        while (step(time)) {
        }
        m_now = time;
    }

    // Call after code outside the clock touched the timers (a received block, say).
    void resync() {
        for (Slot& slot : m_slots)
            if (slot.timer->Starts() != slot.starts) {
                slot.starts = slot.timer->Starts();
                slot.due = Due(*slot.timer, m_now);
            }
    }

private:
    struct Slot {
        Timer* timer;
        std::uint64_t starts;
        std::int64_t due;
    };
    static std::int64_t Due(const Timer& timer, std::int64_t from) {
        return from + timer.Interval();
    }

    std::vector<Slot> m_slots;
    std::int64_t m_now = 0;
};
