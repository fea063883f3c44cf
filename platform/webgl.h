// Between the web layer's window side and its OpenGL side.
#pragma once

// The browser gave back a lost WebGL context: forgets the program and buffers the old one
// held and sets the depth test and viewport again. The viewer's own buffer objects are gone
// too; the window side tells it (glRestoredMessage).
void webglRestored();
