#pragma once
// Moved to tests/support/account_sandbox.hpp; this forward goes once every test includes the new place.
#include "support/account_sandbox.hpp"
