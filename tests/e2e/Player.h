#pragma once
// The player's hands: real mouse and keyboard input through SendInput, at
// screen coordinates, going wherever the window system sends it (the
// window under the pointer, the focused window of the foreground thread,
// the owner of a hot key); and, where the X server's own routing matters,
// a click made by the X server.
#include <windows.h>

namespace player {

void MoveTo(POINT screen);
void Click(POINT screen);
void RightClick(POINT screen);
// A left click made by the X server itself (xdotool): routed through the X
// windows' shapes, so it passes the key-coloured pixels of a colour-keyed
// layered window, which Wine cuts out of the window's X shape, as Windows
// does. Input from SendInput is routed by Wine's own hit test instead,
// which ignores colour keys. False if the click could not be made.
bool ClickThroughX(POINT screen);
void PressKey(WORD vk);
// Presses the left button at `from`, moves to `to` in a few steps and
// releases it there, as a player dragging something.
void Drag(POINT from, POINT to);

// A point of `target` where the window system finds that very window
// (WindowFromPoint), searched from its centre outwards on a coarse grid:
// the place a player would click to hit it. False if no such point exists
// (the window is hidden, covered, or transparent everywhere).
bool VisiblePointOf(HWND target, POINT* screen);
// Clicks `target` at such a point; false if there is none.
bool ClickOn(HWND target);

}  // namespace player
