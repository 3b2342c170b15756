// Kept for the benches and tests that include it by this name: the test trees live in tree.h.
#pragma once
#include "support/tree.h"
