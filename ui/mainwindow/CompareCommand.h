#pragma once

class QTreeWidget;

namespace vistrel {

class CQRXDlg;

/// True when the tree's selected item is a similar picture: a child item, which with its parent
/// item makes a pair to compare. GUI thread.
bool IsSimilarItemSelected(const QTreeWidget& tree);

/// Compare Side by Side: shows the selected similar picture's pair (its parent item's picture on
/// the left, it on the right) in the window's one compare window, made the first time.
/// Nothing happens when no similar picture is selected. GUI thread.
void CompareSelectedPair(CQRXDlg& window);

}  // namespace vistrel
