#pragma once

struct ShownReadings;
struct StatusFrame;

// What the monitor learns from the UPS, for extensions around the window (desktop
// notifications, the network UPS server). They observe; they never change what the
// window does. Every call is made on the UI thread from inside a handler.
class MonitorEvents {
public:
    virtual ~MonitorEvents() = default;
    // The handshake brought the link up.
    virtual void LinkUp() {}
    // A linked-mode frame with a good header, before its fields are shown.
    virtual void FrameDecoded(const StatusFrame& /*frame*/) {}
    // The same frame's readings, once the window shows them.
    virtual void ReadingsShown(const ShownReadings& /*readings*/) {}
    // The watchdog reports a silent line (just before it asks what to do).
    virtual void LinkLost() {}
    // The window was raised for a mains failure (alarm "1").
    virtual void MainsFailure() {}
    // A "0" frame cleared the raised alarm.
    virtual void MainsRestored() {}
};
