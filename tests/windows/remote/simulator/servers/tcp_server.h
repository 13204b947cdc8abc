// Stands in for the simulator header of this name under Wine; see remote.h.
#pragma once
#include "simulator/remote.h"
