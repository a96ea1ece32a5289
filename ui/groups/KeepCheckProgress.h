#pragma once

#include "KeepCheck.h"

#include <optional>
#include <vector>

class QWidget;

namespace vistrel {

/// Checks Keep One of Each Group's plans against the files (CheckKeepPlans, which decodes every
/// file) on the shared thread pool, while a progress dialog over `parent` shows how far it got
/// and offers to cancel. Nothing when the user cancelled. GUI thread.
std::optional<KeepCheck> CheckKeepPlansWithProgress(const std::vector<KeepPlan>& plans,
                                                    bool shapeOnly, QWidget* parent);

}  // namespace vistrel
