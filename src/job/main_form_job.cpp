// The main window's side of a split job: Start, the running look, the progress timer, Cancel
// and the close query.
//
// Placeholder bodies: the job work fills them in.
#include "app/main_form.h"

namespace segmora {

void TMainForm::imgStartClick() {}

void TMainForm::RunSplitJob(const QString&) {}

void TMainForm::EnterJobState() {}

void TMainForm::LeaveJobState() {}

void TMainForm::tmrProcessTimer() {}

void TMainForm::imgCancelClick() {}

void TMainForm::FormCloseQuery(bool& canClose) {
    canClose = true;
}

} // namespace segmora
