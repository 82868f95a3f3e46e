#pragma once
// The window's design: what lies where, with which text and picture, in which state when
// created. Both views build the same window from this table.

#include <array>
#include <string_view>

namespace layout {

// Caption and client-area size of the window, in twips (1440 to the inch).
constexpr const char* Caption = "Orvane   Corvolt";
constexpr int ClientWidth = 4380;
constexpr int ClientHeight = 3804;
// The window's own icon, also given to the tray icon at start-up.
constexpr const char* IconPicture = "corvolt.png";

enum class Kind {
    StatusBar,   // simple style, docked to the bottom edge at the full width
    ProgressBar, // horizontal, range 0 to 100, shows no text
    Button,      // push button; the only control that takes the keyboard focus
    Frame,       // group box with its caption in the top border
    Label,       // opaque, top-left text that wraps at word boundaries
    Image,       // a picture at its own pixel size from its top-left corner
};

struct Control {
    const char* name;
    Kind kind;
    const char* container; // "frmMain" or the name of a frame
    // Twips from the top-left corner of the container. An image's size is its picture's,
    // at 12 twips a pixel.
    int left, top, width, height;
    const char* text;           // caption; empty where the control has none
    bool shown;                 // state when created
    const char* picture;        // file in ui/pictures, for images; nullptr otherwise
    const char* accessibleName; // for controls whose state a screen reader cannot read
                                // from a text; nullptr for the others
};

// Every drawn control, front to back: where two overlap, the earlier lies in front.
extern const std::array<Control, 17> Controls;

// The control of this name; throws std::out_of_range for a name the window does not have.
const Control& Find(std::string_view name);

} // namespace layout
