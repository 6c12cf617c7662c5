// Finding controls the way assistive technology does: through the accessibility tree of a
// window, by role and name, never by object name or member pointer.
#pragma once

#include <QAccessible>
#include <QString>
#include <QWidget>

namespace segmora::test {

// The first node under root (depth first, root included) with this role whose name is name;
// nullptr when the tree holds none. Invisible nodes count too: a screen reader lists them.
inline QAccessibleInterface* findAccessible(QAccessibleInterface* root, QAccessible::Role role,
                                            const QString& name) {
    if (!root)
        return nullptr;
    if (root->role() == role && root->text(QAccessible::Name) == name)
        return root;
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface* found = findAccessible(root->child(i), role, name))
            return found;
    }
    return nullptr;
}

inline QAccessibleInterface* findAccessible(QWidget* window, QAccessible::Role role,
                                            const QString& name) {
    return findAccessible(QAccessible::queryAccessibleInterface(window), role, name);
}

// The widget behind a node found in the tree; nullptr when it is no widget.
inline QWidget* widgetOf(QAccessibleInterface* node) {
    return node ? qobject_cast<QWidget*>(node->object()) : nullptr;
}

} // namespace segmora::test
