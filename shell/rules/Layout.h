// Where the window's controls stand, in twips (1/1440 inch; 15 twips make
// one pixel at 96 dots per inch), and the order the keyboard focus visits
// them. Both windows are built from this one table.
#pragma once

#include <array>

namespace tessaly::layout {

struct Twips {
    int left, top, width, height;
};

enum class Kind { GroupBox, Label, TextField, ToggleButton, PushButton, ProgressBar };
// The container a control stands in.
enum class In { Form1, Frame1, Frame2 };

struct Control {
    const char* name;
    Kind kind;
    In in;
    const char* caption;
    Twips place;
};

// The client area of the window.
inline constexpr Twips kClientArea{0, 0, 7935, 4095};
inline constexpr int kTwipsPerPixelAt96Dpi = 15;

// In the order they are made: containers before what they contain.
inline constexpr std::array<Control, 18> kControls{{
    {"Frame1", Kind::GroupBox, In::Form1, "Split", {120, 120, 7695, 1860}},
    {"Label1", Kind::Label, In::Frame1, "One file to split:", {240, 405, 1305, 225}},
    {"Text1", Kind::TextField, In::Frame1, "", {1800, 360, 5040, 330}},
    {"Check1", Kind::ToggleButton, In::Frame1, "...", {6960, 360, 480, 330}},
    {"Label7", Kind::Label, In::Frame1, "Output Folder:", {240, 810, 1185, 225}},
    {"Text2", Kind::TextField, In::Frame1, "", {1800, 765, 5040, 330}},
    {"Check2", Kind::ToggleButton, In::Frame1, "...", {6960, 765, 480, 330}},
    {"lblSize", Kind::Label, In::Frame1, "Split every ", {240, 1230, 930, 225}},
    {"Text3", Kind::TextField, In::Frame1, "100000", {1200, 1200, 1395, 330}},
    {"Label2", Kind::Label, In::Frame1, "bytes", {2640, 1230, 465, 225}},
    {"Check4", Kind::ToggleButton, In::Frame1, "Split Into .splt, .splt1, .splt2, etc.", {3240, 1200, 4215, 405}},
    {"Frame2", Kind::GroupBox, In::Form1, "Join", {120, 2040, 7695, 1455}},
    {"Label3", Kind::Label, In::Frame2, ".splt Filename:", {240, 405, 1215, 225}},
    {"Text4", Kind::TextField, In::Frame2, "", {1560, 360, 5280, 330}},
    {"Check5", Kind::ToggleButton, In::Frame2, "...", {6960, 360, 480, 330}},
    {"Check3", Kind::ToggleButton, In::Frame2, "Merge .spltx Files That Have Been Split Starting With .splt",
     {240, 765, 7230, 405}},
    {"ProgressBar1", Kind::ProgressBar, In::Form1, "", {120, 3600, 7695, 375}},
    // Lies left of the client area: never seen, but holds the first focus
    // stop, so no visible control is focused when the window opens.
    {"Command1", Kind::PushButton, In::Form1, "Command1", {-720, 2640, 615, 495}},
}};

// The controls the keyboard focus visits, in order; after the last it
// returns to the first.
inline constexpr std::array<const char*, 10> kTabOrder{"Command1", "Check4", "Check2", "Text2", "Text1",
                                                       "Check1",   "Text3",  "Check5", "Text4", "Check3"};

// The control of that name; the table holds every name the windows ask for.
constexpr const Control& control(const char* name) {
    for (const Control& c : kControls) {
        const char* a = c.name;
        const char* b = name;
        while (*a != '\0' && *a == *b) ++a, ++b;
        if (*a == *b) return c;
    }
    return kControls.back();
}

// Twips to pixels at `dpi` dots per inch, rounding towards zero as the
// window has always done at 96.
constexpr int pixels(int twips, int dpi = 96) { return twips * dpi / (kTwipsPerPixelAt96Dpi * 96); }

// Where a window of `window` extent (frame included) starts so that it is
// centred on a screen of `screen` extent, in the same unit: the half of the
// difference, rounded down. A window larger than the screen gets a negative
// position.
constexpr int centredStart(int screen, int window) {
    const int difference = screen - window;
    return difference >= 0 ? difference / 2 : -((-difference + 1) / 2);
}

} // namespace tessaly::layout
