#include "estimation/EstimationJob.h"

#include "points/PointFile.h"

namespace pelmar {

void EstimationOptions2D::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool inFile = store.SectionExists(kSection);
  store.SetSection(kSection);
  LoadOption(store, inFile, "Type", type);
  LoadOption(store, inFile, "Center", center);
  LoadOption(store, inFile, "WriteIdentical", writeIdentical);
}

bool EstimationOptions2D::save(const SettingsStore& target) const {
  SettingsStore store = target;
  store.SetSection(kSection);
  bool ok = store.WriteInt("Type", type);
  ok = store.WriteInt("Center", center) && ok;
  ok = store.WriteInt("WriteIdentical", writeIdentical) && ok;
  return ok;
}

void MatchIdenticalPoints(EstimationJob& job) {
  job.identical.clear();
  const std::vector<std::ptrdiff_t> partner = PairByName(job.source, job.target);
  for (std::size_t i = 0; i < job.source.size(); ++i) {
    if (partner[i] < 0) continue;
    const PointRecord& s = job.source[i];
    const PointRecord& t = job.target[static_cast<std::size_t>(partner[i])];
    job.identical.push_back({s.name, s.Y, s.X, s.Z, t.Y, t.X, t.Z});
  }
}

}  // namespace pelmar
