#pragma once

#include "worker/worker_inputs.h"

// The folder box and the option boxes as they stand now; user-interface
// thread only.
InstallChoices ReadChoices();
