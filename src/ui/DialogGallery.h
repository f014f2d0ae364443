#pragma once

#include <QString>

#include <filesystem>
#include <memory>
#include <vector>

#include "stored/TransformationDatabase.h"

class QWidget;

namespace pelmar {
struct StartUpState;
}

namespace pelmar::ui {

class MainDialog;

// Two sets for the stored-transformations page and the parameter-set
// dialog: a spatial one of a centred run and an ellipsoidal one.
TransformationDatabase::SetList sampleSets(const EllipsoidList& ellipsoids);

// Every dialog and window of the program as it opens, with sample contents
// (the screenshots, and the test that each speaks one language): `scratch`
// is a folder for the viewer's sample file. Each has `window` as its parent;
// the list must go before `window` does.
struct GalleryItem {
  std::unique_ptr<QWidget> widget;
  QString name;
};
std::vector<GalleryItem> dialogGallery(MainDialog& window, const StartUpState& state,
                                       const TransformationDatabase::SetList& sets,
                                       const std::filesystem::path& scratch);

}  // namespace pelmar::ui
