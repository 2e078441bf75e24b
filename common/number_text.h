#pragma once

#include <stdint.h>

#include "common/str.h"

// The number text with "," before every third digit counted back from the
// end of its digit run (1234567 gives 1,234,567; 123 stays 123).
WStr GroupThousands(const WStr& text);
// Decimal digits of the value, without sign or leading zeros.
WStr DecimalText(uint32_t value);
WStr DecimalText64(uint64_t value);
// A decimal number as the manifest and the setup's own files write it:
// digits only, at most 19 of them (every such value fits in 64 bits).
bool ParseDecimal64(const WStr& text, uint64_t* value);
