#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orb::lens {
class Parameter;
class Surface;
}  // namespace orb::lens

namespace orb::interchange {

/// Where reader and writer messages go; none means the process log.
using MessageSink = std::function<void(const std::string&)>;
void emitMessage(const MessageSink& sink, const std::string& message);
/// Without a sink, also a process-log warning once per (subject, kind): the user hears
/// that something in the file was passed over without the file's lines. A caller with a
/// sink has the details already.
void warnUnlessCollected(const MessageSink& sink, std::string_view subject, std::string_view kind,
                         const std::string& warning);

/// Zemax text numbers a surface's extra values in two ranges, parameters (PARM, VPAR,
/// PPAR) and extra data (XDAT); the lens keeps them in one list (parameterArray). The
/// parameters come first, the extra data continue the list right after the last position
/// the parameters reach. An empty range has first > last.
struct ZemaxParameterRanges {
  int firstParameter = 1;
  int lastParameter = 0;
  int firstExtraData = 1;
  int lastExtraData = 0;
};

/// The ranges of a surface of this Zemax type with `parameterCount` parameters: from 1
/// to the count for most types; a kinoform (BINARY_2) numbers its parameters 0 to 8 and a
/// Zernike sag surface (ZERNSURF) stops them at 10, the rest being extra data; a paraxial
/// lens has only parameter 1.
ZemaxParameterRanges zemaxParameterRanges(std::string_view zemaxType, std::size_t parameterCount);
ZemaxParameterRanges zemaxParameterRanges(const lens::Surface& surface);

/// List positions, computed in unsigned 32-bit arithmetic: an index below the first of
/// its range wraps to a huge position and so is out of range.
std::uint32_t parameterIndexForZemaxParameterIndex(const lens::Surface& surface, std::uint32_t index);
std::uint32_t parameterIndexForZemaxExtraDataIndex(const lens::Surface& surface, std::uint32_t index);

/// The parameter at the mapped position; null when the position is past the list.
std::shared_ptr<lens::Parameter> parameterForZemaxParameterIndex(const lens::Surface& surface, std::uint32_t index);
std::shared_ptr<lens::Parameter> parameterForZemaxExtraDataIndex(const lens::Surface& surface, std::uint32_t index);

/// Sets the mapped parameter's value. Out of range, 0 is dropped quietly (files list
/// every slot) and any other value is reported as ignored.
void setParameterValueForZemaxParameterIndex(lens::Surface& surface, std::uint32_t index, double value,
                                             const MessageSink& log = {});
void setParameterValueForZemaxExtraDataIndex(lens::Surface& surface, std::uint32_t index, double value,
                                             const MessageSink& log = {});
/// Makes the mapped parameter variable; nothing out of range.
void setParameterVariableForZemaxParameterIndex(lens::Surface& surface, std::uint32_t index);
void setParameterVariableForZemaxExtraDataIndex(lens::Surface& surface, std::uint32_t index);
/// Makes the mapped parameter a pickup of the same parameter of `source` (value × scale
/// + offset); nothing out of range.
void setParameterPickupForZemaxParameterIndex(lens::Surface& surface, std::uint32_t index,
                                              const std::shared_ptr<lens::Surface>& source, double scale,
                                              double offset);
void setParameterPickupForZemaxExtraDataIndex(lens::Surface& surface, std::uint32_t index,
                                              const std::shared_ptr<lens::Surface>& source, double scale,
                                              double offset);

/// The semidiameter solve code Zemax can hold: a variable semidiameter (4) is written as
/// a fixed one (1).
int zemaxSemidiameterSolveType(const lens::Surface& surface);

/// The parameter of a Zemax coordinate break (COORDBRK) that holds its order.
constexpr std::uint32_t kZemaxBreakOrderParameterIndex = 6;
/// A coordinate break's order flag means opposite things in Zemax text (PARM 6, the second
/// number of SCBD) and in the lens model ("order"): in Zemax 0 decentres first and then
/// tilts about x, y, z, any other value tilts about z, y, x and then decentres; in the
/// model it is the other way round. The reader and the writer translate with these.
double lensBreakOrderFromZemax(double zemaxOrder);
double zemaxBreakOrderFromLens(double lensOrder);

/// An angle field in degrees. Zemax and CODE V give (x, y) as the angles whose tangents
/// are the chief ray's direction tangents, tan x = L/N and tan y = M/N; the lens's own
/// angle coordinate turns by √(x² + y²) toward atan2(y, x). The two agree when either
/// coordinate is 0. Readers convert file → lens, writers lens → file.
struct AngleField {
  double x = 0;
  double y = 0;
};
AngleField lensAngleFieldFromTangentAngles(AngleField file);
AngleField tangentAnglesFromLensAngleField(AngleField lens);

}  // namespace orb::interchange
