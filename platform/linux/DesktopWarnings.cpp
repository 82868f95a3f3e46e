#include "platform/linux/DesktopWarnings.h"

#include "platform/Notice.h"

#include <QMetaObject>

void MainsFailureNotifier::MainsFailure() {
    m_notice.Show(MainsFailureNoticeText);
}

void MainsFailureNotifier::MainsRestored() {
    m_notice.Withdraw();
}

PowerOffPreflight::PowerOffPreflight(PowerOffWorker& worker, Notice& warning)
    : m_worker(worker), m_warning(warning) {}

PowerOffPreflight::~PowerOffPreflight() {
    m_worker.ForgetCheck();
}

void PowerOffPreflight::Check() {
    if (m_warned)
        return;
    m_worker.Check([this](PowerOffPermission answer) {
        QMetaObject::invokeMethod(
            &m_answers, [this, answer] { Answered(answer); }, Qt::QueuedConnection);
    });
}

void PowerOffPreflight::Answered(PowerOffPermission answer) {
    if (m_warned || answer == PowerOffPermission::Allowed)
        return;
    m_warned = true;
    m_warning.Show(answer == PowerOffPermission::Refused ? PowerOffRefusedNoticeText
                                                         : PowerOffUnreachableNoticeText);
}
