// Reads the Corvolt window from outside, as a test sees it. One line per item, three or
// more fields separated by tabs, texts in UTF-8 with "\", tab, CR and LF written as
// "\\", "\t", "\r" and "\n":
//   frmMain      shown  caption          the window itself
//   hWnd         shown  handle (hex)     to read this window again later (argument 1)
//   WindowState  shown  0 normal, 1 minimised
//   Foreground   1 when the window is the foreground window, else 0  caption of the foreground
//   <control>    shown  text             every control, shown when its own visibility is on;
//                                        the progress bar's text is its position
//   MessageBox   owner (hex)  title  text  buttons ("id:text" joined by "|")  default button id
// The window read is the given handle, or the first window of Corvolt's class; every open
// message box of any program is listed. Exit status 2 while no such window exists.
#include "platform/windows/Utf16.h"
#include "platform/windows/Win32MainWindow.h"
#include "ui/Layout.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Text(HWND window) {
    wchar_t text[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &length);
    return Escaped(Utf8(std::wstring(text, length)));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

// The control of the layout table whose id the child carries; nullptr for another window.
const layout::Control* ControlOf(HWND child) {
    for (std::size_t i = 0; i < layout::Controls.size(); ++i)
        if (GetDlgCtrlID(child) == Win32MainWindow::ControlId(i))
            return &layout::Controls[i];
    return nullptr;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    const layout::Control* control = ControlOf(child);
    if (!control)
        return TRUE;
    std::string text = Text(child);
    if (control->kind == layout::Kind::ProgressBar) {
        DWORD_PTR position = 0;
        SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
        text = std::to_string(position);
    }
    // A control's own visibility, whether or not the window shows it at the moment.
    const bool shown = (GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0;
    std::printf("%s\t%d\t%s\n", control->name, shown ? 1 : 0, text.c_str());
    return TRUE;
}

// The visible message boxes (dialogs of the class "#32770") of every program.
BOOL CALLBACK CollectBox(HWND window, LPARAM boxes) {
    if (IsWindowVisible(window) && ClassOf(window) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(boxes)->push_back(window);
    return TRUE;
}

std::vector<HWND> MessageBoxes() {
    std::vector<HWND> boxes;
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

std::vector<HWND> ButtonsOf(HWND box) {
    std::vector<HWND> buttons;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == L"Button" && IsWindowVisible(child))
            buttons.push_back(child);
    return buttons;
}

void PrintBox(HWND box) {
    // The box's text is the static control with the id 0xFFFF.
    std::string buttons;
    int defaultId = 0;
    for (const HWND button : ButtonsOf(box)) {
        buttons += (buttons.empty() ? "" : "|") + std::to_string(GetDlgCtrlID(button)) + ":" +
                   Text(button);
        if ((GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            defaultId = GetDlgCtrlID(button);
    }
    const auto owner = reinterpret_cast<std::uintptr_t>(GetWindow(box, GW_OWNER));
    std::printf("MessageBox\t%llx\t%s\t%s\t%s\t%d\n", static_cast<unsigned long long>(owner),
                Text(box).c_str(), Text(GetDlgItem(box, 0xFFFF)).c_str(), buttons.c_str(),
                defaultId);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const HWND window = argc == 2 ? reinterpret_cast<HWND>(std::wcstoull(argv[1], nullptr, 16))
                                  : FindWindowW(Win32MainWindow::ClassName, nullptr);
    if (!window || !IsWindow(window))
        return 2;
    const int shown = IsWindowVisible(window) ? 1 : 0;
    const HWND foreground = GetForegroundWindow();
    std::printf("frmMain\t%d\t%s\n", shown, Text(window).c_str());
    std::printf("hWnd\t%d\t%llx\n", shown,
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    std::printf("WindowState\t%d\t%d\n", shown, IsIconic(window) ? 1 : 0);
    std::printf("Foreground\t%d\t%s\n", foreground == window ? 1 : 0,
                foreground ? Text(foreground).c_str() : "");
    EnumChildWindows(window, PrintChild, 0);
    for (const HWND box : MessageBoxes())
        PrintBox(box);
    return 0;
}
