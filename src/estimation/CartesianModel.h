#pragma once

#include <array>
#include <string>
#include <vector>

#include "estimation/EstimationRun.h"
#include "estimation/PointSpread.h"
#include "estimation/ResidualDistribution.h"

namespace pelmar {

struct AffineMap;

// How a cartesian model's files and report look: the plane models read
// "name Y X" and tabulate Y, X; the spatial ones read "name c1 c2 c3" and
// tabulate them as X, Y, Z. Rows, residuals and output run Y, X (, Z) for
// both.
struct CartesianLayout {
  int dimensions = 2;
  int (*read)(const std::filesystem::path&, PointList&, UnreadableLines*, bool) = nullptr;
  // The point tables' columns as indices into (Y, X, Z), and their heads.
  std::array<int, 3> tableAxes{0, 1, 2};
  std::vector<std::string> tableHeads;
  int pointRule = 45;                          // "-" under the point tables' heads
  int sourceTitleRule = 35, targetTitleRule = 31;
  int sourceCentroidRule = 31;
  int targetCentroidBlankLines = 1;            // after the target centroid
  int residualRule = 45;                       // "-" under the residual table's heads
  bool residualBlankAfter = true;              // an empty line after the residual table
  TestTableLayout test;
  bool blankBeforeTransformed = true;          // an empty line before the transformed points' title
  bool distributesIdenticalOnly = true;        // the residual distribution corrects identical points only
  ResidualPlot (*plot)(int, const std::vector<IdenticalPoint>&, const std::vector<PointVerdict>&) = nullptr;
};

// What the plane and spatial models share: the point files and their
// pairing, the reduction to centroids, the point tables, the residuals in
// Y, X (, Z), the transformation of every source point and its lines.
class CartesianModel : public EstimationModel {
 public:
  using Vec3 = std::array<double, 3>;
  static constexpr bool kUnitWeights = true;  // every coordinate observed with weight 1
  // An identical point reduced to the centroids, in table order.
  struct Reduced {
    Vec3 source;
    Vec3 target;
  };

  CartesianModel(EstimationJob& job, CartesianLayout layout, int method, int writeIdentical, int center,
                 int minimumIdentical);

  bool ReadAndPair(JobHost& host) override;
  bool CheckGeometry(JobHost& host) override;
  RunFiles files() const override;
  int method() const override { return method_; }
  int writeIdentical() const override { return writeIdentical_; }
  std::size_t identicalCount() const override { return job_.identical.size(); }
  const std::string& identicalName(std::size_t point) const override { return job_.identical[point].name; }
  void KeepResiduals(std::size_t point, const double* rowValues, int count) override;
  std::vector<double> ToAxes(std::size_t point, const double* rowValues, int count) const override;
  std::vector<std::string> AxisNames() const override;

  void WritePointTables(ReportFile& report, const LanguageTable& table) const override;
  ResidualTableLayout ResidualLayout(const LanguageTable& table) const override;
  TestTableLayout TestLayout(const LanguageTable&) const override { return layout_.test; }
  void WriteTransformedHead(ReportFile& report, const LanguageTable& table) const override;
  void WriteTransformedEnd(ReportFile& report) const override;

  std::size_t sourceCount() const override { return job_.source.size(); }
  const std::string& sourceName(std::size_t index) const override { return job_.source[index].name; }
  bool Transform(std::size_t index, Vec3& out) override;
  void PrepareDistribution() override;
  void PreparePlan() override;
  std::array<double, 2> PlanOfIdentical(std::size_t point) const override;
  std::array<double, 2> PlanOfSource(std::size_t index) const override;
  bool DistributesIdenticalOnly() const override { return layout_.distributesIdenticalOnly; }
  bool DistributeAll(std::vector<Vec3>& points, const std::vector<char>& which,
                     const std::function<bool()>& cancelled) const override {
    return distribution_.applyAll(points, which, cancelled);
  }
  // Both read only the points, the parameters and the stations.
  bool TransformsConcurrently() const override { return true; }
  void FormatTransformed(std::size_t index, const Vec3& point, std::string& reportLine,
                         std::string& outputLine) const override;
  ResidualPlot Plot(const std::vector<PointVerdict>& verdicts) const override;
  std::int64_t PointsRead() const override;
  void CompleteSummary(EstimationSummary& summary) const override;

 protected:
  // A reduced source point (table order) transformed, reduced (table order).
  virtual Vec3 Map(const Vec3& reduced) const = 0;
  // Whether the run reduces both systems to their centroids (always for the
  // plane models), what spread of points the model needs, and its set-up
  // once the points are reduced.
  virtual bool Reduces() const { return true; }
  virtual SpreadNeed Need() const = 0;
  virtual void Prepare() {}
  virtual int PlotTitle() const = 0;
  // The model as a PROJ operation, given its whole map in the files' order;
  // empty when it has none.
  virtual std::string ProjOf(const AffineMap& map) const = 0;

  // Notices in the options block: an empty line and the block, when there are any.
  void WriteNoticesInOptions(ReportFile& report, const LanguageTable& table, const RunNotices& notices) const;

  EstimationJob& job_;
  CartesianLayout layout_;
  int method_, writeIdentical_, center_, minimumIdentical_;
  Vec3 sourceCentroid_{}, targetCentroid_{};  // table order; zero when the run does not reduce
  // Identical point i reduced to the centroids, worked out when asked: the
  // adjustment's rows are this and a few products, and a copy of every
  // point took 48 MB of a run of a million.
  Reduced reduced(std::size_t i) const {
    const IdenticalPoint& p = job_.identical[i];
    const Vec3 source = TableOrder(p.sourceY, p.sourceX, p.sourceZ);
    const Vec3 target = TableOrder(p.targetY, p.targetX, p.targetZ);
    Reduced r;
    for (std::size_t c = 0; c < 3; ++c) {
      r.source[c] = source[c] - sourceCentroid_[c];
      r.target[c] = target[c] - targetCentroid_[c];
    }
    return r;
  }

 private:
  Vec3 TableOrder(double y, double x, double z) const {
    const double yxz[3] = {y, x, z};
    Vec3 out{};
    for (int c = 0; c < layout_.dimensions; ++c) out[c] = yxz[layout_.tableAxes[c]];
    return out;
  }
  std::array<double, 2> Plan(double c1, double c2, double c3) const;
  // Earth-centred source coordinates are seen in the tangent plane at their
  // centroid (east, north); others as (Y, X) = (c2, c1).
  bool earthCentred_ = false;
  Vec3 planCentre_{}, planEast_{}, planNorth_{};
  ResidualDistribution distribution_;
  void ReportLine(std::string& line, std::string_view name, const Vec3& values) const;
};

}  // namespace pelmar
