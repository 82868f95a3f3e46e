// Windows: ModApi over the real Win32 functions.
#include "power/Win32ModApi.h"

std::unique_ptr<ModApi> CreateModApi(MessageBoxes& boxes) {
    return std::make_unique<Win32ModApi>(win32::RealWin32Api(), boxes);
}
