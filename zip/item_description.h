#pragma once

#include <stdint.h>

#include "zip/archive_handle.h"

// Walks to the item at index (0 to count - 1, or -1 for the count) and
// describes it: its safe name, attributes, times and sizes. Also records
// where the item lies and whether it names the target folder, and keeps the
// description for the next request of the same index.
ZipResult DescribeItem(Unzipper* unzipper, int32_t index, ZipItem* item);
