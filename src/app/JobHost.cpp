#include "app/JobHost.h"

#include "app/LanguageTable.h"
#include "app/StringIds.h"

namespace pelmar {

JobHost::~JobHost() = default;

std::string JobHost::text(int id, const MessageArgs& args) const { return language().format(id, args); }

std::string JobHost::text(JobPhase phase) const {
  static constexpr int kTexts[] = {str::PhaseReading, str::PhaseAdjusting, str::PhaseTesting, str::PhaseDistributing,
                                   str::PhaseWriting};
  return text(kTexts[static_cast<int>(phase)]);
}

}  // namespace pelmar
