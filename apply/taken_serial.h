#pragma once

#include <stdint.h>

#include "common/str.h"
#include "disk/install_folder.h"

// Where an installation keeps the serial of the last signed manifest it
// took, so that an older manifest, however validly signed, is not taken
// again.
constexpr wchar_t kSerialPath[] = L"Update\\Manifest.serial";

// The serial kept in the folder, 0 when there is none (a first
// installation takes any). False when the file is there but unreadable.
bool ReadTakenSerial(const InstallFolder& folder, uint64_t* serial);

// Keeps the serial, written whole beside the file and then put in its place.
bool RecordTakenSerial(const InstallFolder& folder, uint64_t serial);
