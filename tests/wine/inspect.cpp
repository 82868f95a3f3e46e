// Reads the Corvolt window from outside, as a test sees it: one line per control,
// "name<TAB>shown<TAB>text" in UTF-8, the window itself first as frmMain with its caption,
// then "WindowState" with 0 (normal) or 1 (minimised) as its text.
// Exit status 2 while no Corvolt window exists.
#include "platform/windows/Utf16.h"
#include "platform/windows/Win32MainWindow.h"
#include "ui/Layout.h"

#include <cstdio>
#include <string>

namespace {

std::string Text(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &length);
    return Utf8(std::wstring(text, length));
}

// The control of the layout table whose id the child carries; nullptr for another window.
const layout::Control* ControlOf(HWND child) {
    for (std::size_t i = 0; i < layout::Controls.size(); ++i)
        if (GetDlgCtrlID(child) == Win32MainWindow::ControlId(i))
            return &layout::Controls[i];
    return nullptr;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    if (const layout::Control* control = ControlOf(child))
        std::printf("%s\t%d\t%s\n", control->name, IsWindowVisible(child) ? 1 : 0,
                    Text(child).c_str());
    return TRUE;
}

} // namespace

int wmain() {
    const HWND window = FindWindowW(Win32MainWindow::ClassName, nullptr);
    if (!window)
        return 2;
    std::printf("frmMain\t%d\t%s\n", IsWindowVisible(window) ? 1 : 0, Text(window).c_str());
    std::printf("WindowState\t%d\t%d\n", IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0);
    EnumChildWindows(window, PrintChild, 0);
    return 0;
}
