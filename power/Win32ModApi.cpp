#include "power/Win32ModApi.h"

#include "power/ForegroundFailure.h"

#include <QWidget>

#include <utility>

Win32ModApi::Win32ModApi(win32::Win32Api api, MessageBoxes& boxes)
    : m_api(std::move(api)), m_boxes(boxes) {}

void Win32ModApi::BringToFront(QWidget& window) {
    if (!win32::BringToFront(m_api, static_cast<win32::Handle>(window.winId()))) {
        ShowForegroundFailure(m_boxes);
    }
}

bool Win32ModApi::ShutdownWindows() {
    return win32::ShutdownWindows(m_api);
}
