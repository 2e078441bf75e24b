#pragma once

#include "worker/worker_inputs.h"

// Makes the four "Quelda Manager.lnk" shortcuts (desktop, programs, start-up,
// quick launch) match the choices: a chosen one is created or rewritten to
// the application file, one not chosen is deleted. Reports nothing.
void CreateShortcuts(const InstallChoices& choices, const WStr& applicationFile);
