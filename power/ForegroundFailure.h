#pragma once

#include "platform/MessageBoxes.h"

// Tells the user that the window could not be brought in front of the others; the caller
// then carries on as if it had been.
inline void ShowForegroundFailure(MessageBoxes& boxes) {
    boxes.MsgBox("No se pudo enviar la ventana a primer plano\r\n"
                 "Número de Referencia: 0x0001h",
                 vb::Information, "Atención");
}
