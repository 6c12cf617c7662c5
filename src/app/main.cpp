// Program start: the application object, the program folder, the windows, the message loop.
#include "app/product.h"
#include "app/program_context.h"

#include <QApplication>
#include <clocale>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // libmpv needs the C numeric locale; Qt has just set the user's one.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(segmora::kProductName);
    return 0;
}
