// Browser engine set-up that must happen before QApplication and the first web view.
#pragma once

namespace platform {

// Chromium's sandbox cannot run as root, so it is switched off in that case only. The engine and
// the web view draw in software unless the user's Chromium flags name the GPU.
void prepareWebEngine();

} // namespace platform
