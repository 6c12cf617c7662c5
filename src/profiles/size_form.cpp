// The custom video size dialog.
#include "profiles/size_form.h"

namespace segmora {

TSizeForm::TSizeForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SizeForm"));
}

} // namespace segmora
