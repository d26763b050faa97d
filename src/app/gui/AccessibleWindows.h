// How the program's windows meet screen readers and tools that drive them from outside.
//
// A secondary window of the program (entry form, overview, tree, undo journal, file search) is
// a top-level widget of its own; Qt would report it as a "filler" inside nothing. Here it is a
// window, and the context menu a grid of it shows is one of its children, so that a tool
// walking the accessibility tree finds the menu it opened. Every window is finished once
// before it first shows (document::finishWindow: boxes named by their labels, buttons winning
// the accelerators they share with a label). User-interface thread only.
#pragma once

namespace mv32::app {

// Installs both for the whole application; calling it again does nothing.
void prepareWindows();

}  // namespace mv32::app
