#pragma once

#include "estimation/EstimationJob.h"

namespace pelmar {

class JobHost;

enum class PlaneModel { Similarity, Affine };

// The plane estimation: reads both files, pairs the identical points,
// estimates the similarity (a, b, tY, tX) or affine (a, b, c, d, tY, tX)
// transformation by least squares (method 1) or an iteratively reweighted
// L1 fit (method 0), tests every identical point for a gross error,
// transforms every source point and writes the report and, when the job names
// one, the output point file. Returns 1 when the report was written, 0 when
// the run stopped with a message through `host`.
int Estimate2D(EstimationJob& job, PlaneModel model, int method, int writeIdentical, int center, JobHost& host,
               EstimationSummary* summary = nullptr);

}  // namespace pelmar
