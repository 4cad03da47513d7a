#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "lens/ArchiveClasses.h"
#include "lens/Lens.h"
#include "tracing/Regeneration.h"

namespace orb::bench {

/// A lens file of examples/ (or any path), read and updated as the document opens it: the
/// reader, the lens made from its dictionary, stop, fields and waves validated, then the
/// system update (paraxial data, placement, semidiameters). The lens does not watch itself,
/// so nothing re-runs the update behind the benchmark's back.
inline std::shared_ptr<lens::Lens> lensFromFile(const std::string& path) {
  lens::registerArchiveClasses();
  tracing::registerSystemGenerator();
  std::string why;
  auto decoded = interchange::readTextFile(path, &why);
  if (!decoded) throw std::runtime_error(path + ": " + why);
  auto dictionary = interchange::readZemaxString(decoded->text);
  if (!dictionary) throw std::runtime_error(path + ": the reader gave up");
  auto lens = lens::Lens::create();
  lens->stopWatchingSelf();
  lens->setValuesForDesiredKeysWithDictionary(*dictionary);
  lens->validateStop();
  lens->validateFields();
  lens->validateWaves();
  lens->generateSystemFromParaxialSpecification();
  lens->setIsReady(true);
  return lens;
}

inline std::shared_ptr<lens::Lens> exampleLens(const std::string& name) {
  return lensFromFile(std::string(ORB_EXAMPLES_DIR) + "/" + name);
}

}  // namespace orb::bench
