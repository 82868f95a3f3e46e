// Several observers of the monitor behind one.
#include "link/StatusFrame.h"
#include "platform/MonitorEventsFanOut.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Appends "<name>:<event>" to a log shared by all recorders.
class Recorder final : public MonitorEvents {
public:
    Recorder(std::string name, std::vector<std::string>& log)
        : m_name(std::move(name)), m_log(log) {}
    void LinkUp() override { Note("LinkUp"); }
    void FrameDecoded(const StatusFrame& frame) override {
        Note("Frame " + std::to_string(frame.AlarmChar));
    }
    void LinkLost() override { Note("LinkLost"); }
    void MainsFailure() override { Note("MainsFailure"); }
    void MainsRestored() override { Note("MainsRestored"); }

private:
    void Note(const std::string& event) { m_log.push_back(m_name + ":" + event); }
    const std::string m_name;
    std::vector<std::string>& m_log;
};

TEST(MonitorEventsFanOut, EveryEventReachesEveryObserverInOrder) {
    std::vector<std::string> log;
    Recorder first("a", log);
    Recorder second("b", log);
    MonitorEventsFanOut events{&first, &second};
    StatusFrame frame;
    frame.AlarmChar = '2';

    events.LinkUp();
    events.FrameDecoded(frame);
    events.MainsFailure();
    events.MainsRestored();
    events.LinkLost();

    const std::vector<std::string> expected{
        "a:LinkUp",       "b:LinkUp",        "a:Frame 50",      "b:Frame 50", "a:MainsFailure",
        "b:MainsFailure", "a:MainsRestored", "b:MainsRestored", "a:LinkLost", "b:LinkLost",
    };
    EXPECT_EQ(log, expected);
}

} // namespace
