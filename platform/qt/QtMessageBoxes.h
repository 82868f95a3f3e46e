#pragma once

#include "platform/MessageBoxes.h"

// Boxes shown with QMessageBox, with Spanish button texts.
class QtMessageBoxes final : public MessageBoxes {
public:
    int MsgBox(const std::string& prompt, int style, const std::string& title = {}) override;
};
