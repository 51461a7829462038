// distinct.h: removing duplicate rows from a select's result (DISTINCT).
// Owns nothing: the rows belong to the result data set.
#pragma once

#include "engine/types/resdata.h"

// Removes every row that equals a later row in all columns (CmpData per
// column; two cells without value are equal). The survivors are the last
// occurrences, in their insertion order. Runs in linear expected time
// unless a FLOAT column takes part: the FLOAT tolerance makes equality
// non-transitive, so such results are compared pairwise. That comparison
// stops when the user asks for it (interrupt.h): it then writes the
// interrupted reply, leaves the rows alone and returns 0.
[[nodiscard]] int DISTINCT_Apply(RESDATA* result);
