#pragma once

// First thing at start: DLLs are looked for in the system folder only.
// Windows searches the folder a program lies in (Downloads) before the
// system folder for every DLL that is no known system DLL, so a
// version.dll saved there earlier would run inside the setup. The setup's
// imports of that kind (version, wininet, gdiplus, bcrypt) are
// delay-loaded, and each is loaded here by its full path in the system
// folder at its first call; whatever those load in turn is looked for in
// the system folder only where Windows can be told so.
void RestrictDllSearch();
