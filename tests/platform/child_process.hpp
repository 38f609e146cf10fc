#pragma once
// Moved to tests/support/child_process.hpp; this forward goes once every test includes the new place.
#include "support/child_process.hpp"
