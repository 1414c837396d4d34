// The A2L enumerations under the name some readers include; they live in
// data_types.h (with ObjectError from object_error.h, which their parsers throw).
#pragma once

#include "a2l/data_types.h"
#include "a2l/object_error.h"
