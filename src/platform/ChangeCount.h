#pragma once

#include <cstdint>

namespace orb::platform {

/// Counts the changes of model objects anywhere in the program: every announced change of
/// any object's key (observed or not) and the changes noted with noteModelChange. What is
/// derived from a model and kept between uses (a trace's prepared surfaces) is valid while
/// the count it was made at is still the count.
std::uint64_t modelChangeCount();

/// For writes that are not announced (frames set by the system update, polynomials rebuilt
/// from parameters) but change what traces see.
void noteModelChange();

}  // namespace orb::platform
