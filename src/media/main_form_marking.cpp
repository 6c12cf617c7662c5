// The main window's range marking: the marking buttons and the start and end time fields.
//
// Placeholder bodies: the range marking work fills them in.
#include "app/main_form.h"

namespace segmora {

void TMainForm::SetMarkStart(double) {}

void TMainForm::SetMarkEnd(double) {}

void TMainForm::imgSelStartClick() {}

void TMainForm::imgSelEndClick() {}

void TMainForm::imgEraseClick() {}

void TMainForm::edtStartExit() {}

void TMainForm::edtEndExit() {}

void TMainForm::edtStartKeyPress() {}

void TMainForm::edtEndKeyPress() {}

void TMainForm::edtSectionQtyClick() {}

} // namespace segmora
