#pragma once
// Walks over Qt widget trees: enabling whole groups of controls and visiting
// every control inside a window.
#include <functional>

class QWidget;

// Sets the enabled state of every widget inside AControl, depth first (a
// container's children before the container itself), and of AControl itself
// when IncludeSelf is true.
void SetControlsEnabled(QWidget* AControl, bool AEnabled, bool IncludeSelf);

// Calls Callback for every widget inside Root, depth first: for each child in
// child order, a container child is walked first, then the child is passed.
// Root itself is not passed, unless it holds no child widgets at all, in which
// case it is passed alone. The children of each level are taken before that
// level's loop, so widgets added during the walk are not visited.
void ForEachControl(QWidget* Root, const std::function<void(QWidget*)>& Callback);
