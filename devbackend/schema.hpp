#pragma once

#include "database.hpp"

#include <string>

namespace devbackend::schema {

// Creates the tables when missing and returns the database's token-signing secret, made once
// per database so that tokens of one database are worthless against another.
std::string prepare(Database& database);

} // namespace devbackend::schema
