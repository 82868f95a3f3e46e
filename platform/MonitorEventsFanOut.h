#pragma once

#include "platform/MonitorEvents.h"

#include <initializer_list>
#include <vector>

// Several observers of the monitor behind one: each event goes to each of them, in the
// order given.
class MonitorEventsFanOut final : public MonitorEvents {
public:
    MonitorEventsFanOut(std::initializer_list<MonitorEvents*> observers) : m_observers(observers) {}

    void LinkUp() override { Each(&MonitorEvents::LinkUp); }
    void FrameDecoded(const StatusFrame& frame) override {
        Each(&MonitorEvents::FrameDecoded, frame);
    }
    void ReadingsShown(const ShownReadings& readings) override {
        Each(&MonitorEvents::ReadingsShown, readings);
    }
    void LinkLost() override { Each(&MonitorEvents::LinkLost); }
    void MainsFailure() override { Each(&MonitorEvents::MainsFailure); }
    void MainsRestored() override { Each(&MonitorEvents::MainsRestored); }

private:
    template <typename... Params, typename... Args>
    void Each(void (MonitorEvents::*event)(Params...), const Args&... args) {
        for (MonitorEvents* observer : m_observers)
            (observer->*event)(args...);
    }

    const std::vector<MonitorEvents*> m_observers;
};
