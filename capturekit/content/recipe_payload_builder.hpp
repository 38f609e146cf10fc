#pragma once

// Turns a recipe read from a page into the recipe payload of an ingest request, with every
// ingredient line parsed.

#include <capturekit/model/recipe_data.hpp>
#include <capturekit/model/recipe_payload.hpp>

#include <optional>
#include <string>

namespace capturekit::RecipePayloadBuilder {

// Absent when the recipe has no name (after trimming) or is not usable. The addresses are
// trimmed, blank counting as absent; steps are trimmed and blank ones dropped.
std::optional<RecipePayload> from(const RecipeData& recipe,
                                  const std::optional<std::string>& sourceURL,
                                  const std::optional<std::string>& imageURL);

} // namespace capturekit::RecipePayloadBuilder
