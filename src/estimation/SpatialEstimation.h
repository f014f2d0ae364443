#pragma once

#include "estimation/EstimationJob.h"
#include "stored/TransformationSet.h"

namespace pelmar {

class JobHost;

enum class SpatialModel {
  Rigorous,    // rotation matrix Rz(ε3)·Rx(ε2)·Ry(ε1), Gauss–Newton; set type 0
  Linearised,  // small-angle model, one loop; set type 1
};

// Options of the spatial estimations, section "HelmertTrafo3D".
struct EstimationOptions3D {
  static constexpr const char* kSection = "HelmertTrafo3D";
  int writeIdentical = 1;  // "WriteIdentical"
  int type = 0;            // "Type": 0 L1 norm, 1 least squares; the method of a run
  int scale = 1;           // "Scale": estimate the scale factor
  int rotations = 1;       // "Rotations": estimate the three rotations
  int translations = 1;    // "Translations": estimate the three translations
  int center = 1;          // "Center": reduce both systems to their centroids
  int saveParams = 0;      // "SaveParams": offer to store the set after the run
  int savePointInfo = 0;   // "SavePPInfo": store the identical points with the set
  // "TypeLinearised": the method of the linearised entry ("helmert-l1"), kept
  // apart from the rigorous entry's "Type": the L1 entry opened with least
  // squares after a least-squares run of the other. Missing from files
  // written before it, it reads 0, the L1 norm.
  int typeLinearised = 0;

  // The method field of the model's entry, for the options dialog.
  int& method(SpatialModel model) { return model == SpatialModel::Linearised ? typeLinearised : type; }
  // The options a run of `model` takes: "type" set to that entry's method.
  EstimationOptions3D forModel(SpatialModel model) const {
    EstimationOptions3D run = *this;
    run.type = run.method(model);
    return run;
  }

  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) {
    visit("WriteIdentical", o.writeIdentical);
    visit("Type", o.type);
    visit("Scale", o.scale);
    visit("Rotations", o.rotations);
    visit("Translations", o.translations);
    visit("Center", o.center);
    visit("SaveParams", o.saveParams);
    visit("SavePPInfo", o.savePointInfo);
    visit("TypeLinearised", o.typeLinearised);
  }
  void load(const SettingsStore& store) { LoadSection(store, *this); }
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }
};

// The spatial Helmert estimation from cartesian point files ("name c1 c2 c3"):
// the chosen parameter groups by least squares (type 1) or an L1-norm fit
// (type 0), the gross-error test of every identical point, every source point
// transformed and written in the order (c2', c1', c3'), the report, and the
// result `set` (type 0 or 1). Returns 1 when the report was written, 0 when
// the run stopped with a message through `host`.
int EstimateSpatial(EstimationJob& job, SpatialModel model, const EstimationOptions3D& options, JobHost& host,
                    TransformationSet* set = nullptr, EstimationSummary* summary = nullptr);

}  // namespace pelmar
