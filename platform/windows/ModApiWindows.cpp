// Windows: ModApi over the real Win32 functions.
#include "platform/System.h"
#include "platform/windows/Win32ModApi.h"

std::unique_ptr<ModApi> CreateModApi(MessageBoxes& boxes) {
    return std::make_unique<Win32ModApi>(win32::RealWin32Api(), boxes);
}
