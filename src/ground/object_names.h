// Gives a widget its object name while it is being created, so forms read as their inventory.
#pragma once

#include <QLatin1String>

namespace segmora {

template <class Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace segmora
