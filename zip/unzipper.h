#pragma once

// What the install worker sees of zip archives: an opaque handle and its
// owner, item descriptions with names made safe for use as relative paths,
// the check of a whole package, and extraction of one item to disk with its
// attributes and times. Code outside zip/ includes this header only.

#include "zip/archive_check.h"
#include "zip/archive_handle.h"
#include "zip/extract_item.h"
#include "zip/item_name.h"
