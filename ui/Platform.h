#pragma once

class AppInstance;
class CommControl;
class MessageBoxes;
class ModApi;
class NumberLocale;
class SysTrayControl;
class TickCounter;

// The platform services the main window works through; Qt and the operating system in
// the program, fakes in the tests.
struct Platform {
    CommControl& comm;
    MessageBoxes& boxes;
    SysTrayControl& tray;
    ModApi& api;
    TickCounter& ticks;
    NumberLocale& locale;
    AppInstance& instance;
};
