#pragma once

class QWidget;

namespace kalmora {

class Settings;

// The main window's size and place at start: where the user left it, when that still fits one
// of the screens as they are now; else the form's size, cut to the primary screen's available
// area with room for the title bar and the frame, and centred there.
void PlaceMainWindow(QWidget &window, const Settings &settings);
// Kept when the window closes, for the next start.
void RememberMainWindowPlace(const QWidget &window, Settings &settings);

} // namespace kalmora
