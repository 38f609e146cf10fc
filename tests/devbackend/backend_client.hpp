#pragma once
// Moved to tests/support/backend_client.hpp; this forward goes once every test includes the new place.
#include "support/backend_client.hpp"
