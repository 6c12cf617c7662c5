// Turning the computer off through the power-off seam.
#include "job/power_off.h"

#include "ground/seams.h"

namespace segmora {

void PowerOffComputer() {
    // Nothing like a shutdown privilege needs enabling first: logind weighs the caller's
    // rights when it receives the request and refuses quietly when they fall short.
    seams().powerOff();
}

} // namespace segmora
