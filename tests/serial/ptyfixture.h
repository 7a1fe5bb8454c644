#pragma once

// The benchmarks include the pseudo-terminal from here; the suites share the one in common/.
#include "../common/ptyfixture.h"
