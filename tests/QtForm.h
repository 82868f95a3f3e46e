#pragma once
// The monitor over the real Qt window, with fake services.

#include "fakes/FakePlatform.h"
#include "platform/qt/MainWindow.h"

#include <QString>

struct QtForm : FormOn<MainWindow> {
    // The window's widget of this name and type.
    template <typename T> T* widget(const char* name) {
        return view.findChild<T*>(QString::fromLatin1(name));
    }
};
