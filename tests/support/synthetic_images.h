// Forwarding header while the tests move to support/host.h.
#pragma once
#include "support/host.h"
