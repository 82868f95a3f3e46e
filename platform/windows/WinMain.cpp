// Corvolt: monitor of a UPS on a serial line. The Windows edition: the Win32 window and
// services, and the monitor's behaviour over them.
#include "platform/ModApi.h"
#include "platform/MonitorEvents.h"
#include "platform/System.h"
#include "platform/windows/Win32CommControl.h"
#include "platform/windows/Win32MainWindow.h"
#include "platform/windows/Win32SerialLine.h"
#include "platform/windows/Win32Services.h"
#include "ui/MonitorForm.h"

#include <commctrl.h>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX commonControls{
        sizeof commonControls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&commonControls);

    Win32AppInstance appInstance;
    Win32MainWindow window(instance);
    Win32MessageBoxes boxes(window.Handle());
    const auto api = CreateModApi(boxes);
    SystemTickCounter ticks;
    Win32NumberLocale locale;
    Win32Log log;
    MonitorEvents events; // nothing observes the monitor on Windows
    Win32SerialLine line;
    Win32CommControl comm(line);

    MonitorForm form(window.Controls(comm),
                     Services{boxes, *api, ticks, locale, appInstance, log, events, SystemName()});
    window.EndSession = [&appInstance] {
        if (appInstance.OnTerminate)
            appInstance.OnTerminate();
    };
    form.Form_Load();
    window.ShowCentred();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window.Handle(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
