// Forwarding header while the tests move to support/harness.h.
#pragma once
#include "support/harness.h"
