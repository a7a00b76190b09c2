// Browser engine set-up that must happen before QApplication and the first web view.
#pragma once

namespace platform {

// Chromium's sandbox cannot run as root, so it is switched off in that case only. The engine and
// the web view draw in software unless the user's Chromium flags name the GPU.
void prepareWebEngine();

// Whether the preview's engine may start after the window is painted: where its frames are
// painted as images. A GL scene must be there when the window is made; started later, it
// would have the window made anew, and keys typed meanwhile would be lost.
bool webEngineMayStartLate();

} // namespace platform
