// What the browser engine may write to the clipboard and the selection.
#pragma once

namespace platform {

// The engine writes the clipboard and the selection through Qt's clipboard, in this process,
// whatever frame, worker or command of a page asked for it. Every such write passes one gate:
// it is done only where the user gave the command in the pane moments before, and is dropped
// otherwise, leaving what the user had copied where it was. The program's own writes (the
// editor's) pass as ever.
namespace EngineClipboard {

// How long after the user's command the engine's write of it may take to arrive: the renderer
// runs it and hands it back, which takes moments even on a busy machine.
constexpr int GrantMs = 3000;

// The user's own copy or cut command in the pane (its key or its menu entry): the engine's next
// write to the clipboard is the user's.
void grantCopy();
// The user selects in the pane (by a drag, a double click, selection keys or "select all"): the
// engine's writes to the selection for a moment are the user's.
void grantSelection();
// How many of the engine's writes were dropped so far.
int refused();

} // namespace EngineClipboard

} // namespace platform
