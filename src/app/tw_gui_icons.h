// The program's own pictures, drawn in code: the 32 x 32 button icons and the 64 x 64
// drive icons (index 0 fixed disk, 1 other drive, 2 removable disk).
#pragma once

#include <QIcon>

enum class TTWButtonIcon { Run, Cancel, Options, Close };

QIcon ButtonIcon(TTWButtonIcon Which);
QIcon DriveIcon(int Index);
// The window icon of the program.
QIcon ProgramIcon();
