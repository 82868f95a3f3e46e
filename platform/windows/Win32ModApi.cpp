#include "platform/windows/Win32ModApi.h"

#include "power/ForegroundFailure.h"

#include <utility>

Win32ModApi::Win32ModApi(win32::Win32Api api, MessageBoxes& boxes)
    : m_api(std::move(api)), m_boxes(boxes) {}

void Win32ModApi::BringToFront(std::intptr_t hWnd) {
    if (!win32::BringToFront(m_api, hWnd)) {
        ShowForegroundFailure(m_boxes);
    }
}

bool Win32ModApi::ShutdownWindows() {
    return win32::ShutdownWindows(m_api);
}
