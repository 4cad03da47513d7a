#pragma once

#include <string>

#include "interchange/ZemaxParameterMapping.h"
#include "platform/Value.h"

namespace orb::lens {
class Surface;
}

namespace orb::interchange {

/// Writes a lens dictionary (see LensDictionary.h) as Zemax lens text: system lines (a
/// NAME line only for a lens with a title), fields and waves, one block per surface, then
/// the configurations. Angle fields are written as Zemax gives them, the angles of the
/// direction's tangents (see AngleField). Every line ends
/// with "\n"; surface-block lines are indented by one blank. Numbers are written in their
/// shortest form that reads back to the same double, independent of the process locale,
/// so write → read gives the lens back.
///
/// Raises "Unsupported" for what Zemax text cannot hold: a field type other than
/// "Angle", "Object height" and "Image height" (a missing one too), more than ten fields
/// or wavelengths, a surface type without a Zemax code. The text is UTF-8; non-ASCII
/// characters can only be in names and comments, and the document decides how to encode
/// them.
std::string zemaxStringForModel(const platform::Dictionary& lensDictionary, const MessageSink& log = {});

/// The aperture line ("ENPD …", "FNUM …", "OBNA …", "FLOA"); empty for a type Zemax text
/// has no line for (6, 7, 8).
std::string zemaxCommandFromSourceDivergenceType(int type, double value);

/// The number as the writer writes it: shortest round-trip form ("0.1", "1e-07").
std::string zemaxNumber(double value);

/// A wavelength as the writer writes it: the shortest text of the nanometres the wave
/// holds, its decimal point moved to make microns (587.6 → "0.5876"). The reader moves it
/// back in the text, so the wave reads back as the same double.
std::string zemaxMicronsFromNanometres(double nanometres);

}  // namespace orb::interchange
