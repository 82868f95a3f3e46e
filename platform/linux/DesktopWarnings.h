#pragma once

#include "platform/MonitorEvents.h"
#include "platform/linux/PowerOffWorker.h"

#include <QObject>

class Notice;

// Texts of the desktop notifications (UTF-8).
inline constexpr char MainsFailureNoticeText[] =
    "Falla de línea: funcionamiento con baterías. Guarde su trabajo.";
inline constexpr char PowerOffRefusedNoticeText[] =
    "Corvolt no podrá apagar el equipo: falta permiso de apagado";
inline constexpr char PowerOffUnreachableNoticeText[] =
    "Corvolt no podrá apagar el equipo: no hay respuesta del servicio de apagado (systemd-logind)";

// A mains failure reaches the user also where the desktop does not let the window come to
// the front: a notification (of critical urgency) goes with the raised window and is
// withdrawn when the alarm clears.
class MainsFailureNotifier final : public MonitorEvents {
public:
    explicit MainsFailureNotifier(Notice& notice) : m_notice(notice) {}
    void MainsFailure() override;
    void MainsRestored() override;

private:
    Notice& m_notice;
};

// Finds out before it is needed whether the power-off will be possible: asks at start and
// whenever the link comes up, without waiting for the answer, and warns the user once per
// run when the power-off is refused or its service cannot be reached.
class PowerOffPreflight final : public MonitorEvents {
public:
    PowerOffPreflight(PowerOffWorker& worker, Notice& warning);
    ~PowerOffPreflight() override;
    PowerOffPreflight(const PowerOffPreflight&) = delete;
    PowerOffPreflight& operator=(const PowerOffPreflight&) = delete;

    // Asks now; the answer comes back through the event loop of this thread.
    void Check();
    void LinkUp() override { Check(); }

private:
    void Answered(PowerOffPermission answer);

    PowerOffWorker& m_worker;
    Notice& m_warning;
    bool m_warned = false;
    QObject m_answers; // carries the answer to this thread; drops it once destroyed
};
