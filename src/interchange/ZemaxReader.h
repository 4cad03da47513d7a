#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/ZemaxParameterMapping.h"
#include "platform/Value.h"

namespace orb::interchange {

/// A line the Zemax reader could not take. The application shows it as a modal alert:
/// message() as the title, informativeText() below, buttons "Give up" and "Continue
/// reading".
struct ZemaxTrouble {
  std::string source;  ///< the file (or other origin) named in the options; may be empty
  int line = 0;        ///< counting from 1, blank lines included
  std::string lineText;  ///< trimmed
  std::string exceptionName;
  std::string exceptionReason;

  /// "Trouble at file line %d".
  std::string message() const;
  /// "%@\n%@ : %@": the line, the exception's name and reason.
  std::string informativeText() const;
};

enum class ZemaxTroubleAnswer { GiveUp, ContinueReading };

struct ZemaxReadOptions {
  /// Names the text in log messages (a path, "pasteboard", a catalog entry).
  std::string source;
  /// Makes every semidiameter fixed (user default "zemaxReadFixSemidiameters").
  bool fixSemidiameters = false;
  /// Clears every solve after reading (user default "zemaxReadRemoveSolves").
  bool removeSolves = false;
  /// Asked at each bad line. Without one the read gives up at the first bad line, so a
  /// caller that cannot ask never gets half a lens without knowing.
  std::function<ZemaxTroubleAnswer(const ZemaxTrouble&)> onTrouble;
  /// Receives what the reader passed over (unknown and unimplemented codes, ignored
  /// values), each message starting with "<source>[<line>]"; none: the process log.
  MessageSink log;

  /// The two flags from the user defaults; source, question and log left empty.
  static ZemaxReadOptions fromUserDefaults();
};

/// Reads Zemax lens text (ZMX) into a lens dictionary (see LensDictionary.h): a line
/// interpreter dispatching on the four-character code of each line's first word. After
/// a "CSUM" line the rest of the text is a glass section (AGF lines) whose glasses go
/// under "glassArray". Numbers are read independent of the process locale.
///
/// The lens takes lengths in millimetres: a file in inches (UNIT IN), centimetres or
/// metres is scaled as it is read and its unitCode becomes "MM". Angle fields are turned
/// from Zemax's tangent angles into the lens's (see AngleField); real image heights
/// (FTYP 3) are taken as paraxial ones, which the log says.
///
/// Both functions return none when the reader gives up at a bad line; otherwise a
/// dictionary, even for text with nothing in it.
std::optional<platform::Dictionary> readZemaxString(std::string_view text, const ZemaxReadOptions& options = {});
std::optional<platform::Dictionary> readZemaxLines(const std::vector<std::string>& lines,
                                                   const ZemaxReadOptions& options = {});

}  // namespace orb::interchange
