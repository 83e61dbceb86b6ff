#pragma once
// The program folder: the folder of the executable, always with its trailing '/'. Every
// working file of the program lies in it. An installed package, whose executable's folder is
// not writable, marks it with a file PASTA_POR_USUARIO beside the executable: the program
// folder is then $XDG_DATA_HOME/sonaris-v1/ (~/.local/share/sonaris-v1/), created when
// missing. Tests install a folder of their own.
#include <QString>

QString ProgramFolder();
// The executable's full path (from /proc/self/exe).
QString ExecutablePath();
// Tests: use this folder (with trailing '/') instead; an empty text goes back to the real one.
void SetProgramFolderOverride(const QString& folder);
