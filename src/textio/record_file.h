// Both kinds of record file, for the files that use both.
#pragma once

#include "textio/input_file.h"
#include "textio/output_file.h"
