#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "interchange/TextDecoding.h"
#include "interchange/ZemaxReader.h"
#include "lens/ArchiveClasses.h"
#include "lens/Lens.h"
#include "tracing/Regeneration.h"

namespace orb::support {

/// A lens made from Zemax text as a document opens one: read, stop, fields and waves
/// validated, the system updated, ready. It does not watch itself, so a test or benchmark
/// that changes it decides when it is updated again. Throws when the reader gives up.
inline std::shared_ptr<lens::Lens> lensFromZemaxText(const std::string& text, const std::string& source = "text") {
  lens::registerArchiveClasses();
  tracing::registerSystemGenerator();
  auto dictionary = interchange::readZemaxString(text);
  if (!dictionary) throw std::runtime_error(source + ": the reader gave up");
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

/// The same from a file; throws when it cannot be read as text.
inline std::shared_ptr<lens::Lens> lensFromZemaxFile(const std::string& path) {
  std::string why;
  auto decoded = interchange::readTextFile(path, &why);
  if (!decoded) throw std::runtime_error(path + ": " + why);
  return lensFromZemaxText(decoded->text, path);
}

}  // namespace orb::support
