// Resource ids of the Windows program, shared by the resource scripts and the code.
#pragma once

// The application icon, in the sizes Windows shows it.
#define CORVANE_APPLICATION_ICON 1
// The artwork as PNG images, drawn by the program at the size and resolution it needs.
#define CORVANE_TRAY_ARTWORK_PNG 101
#define CORVANE_APPLICATION_ICON_PNG 102
