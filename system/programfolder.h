#pragma once
// The program folder: the folder of the executable, always with its trailing '/'. Every
// working file of the program lies in it. Tests install a folder of their own.
#include <QString>

QString ProgramFolder();
// The executable's full path (from /proc/self/exe).
QString ExecutablePath();
// Tests: use this folder (with trailing '/') instead; an empty text goes back to the real one.
void SetProgramFolderOverride(const QString& folder);
