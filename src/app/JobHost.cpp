#include "app/JobHost.h"

#include "app/LanguageTable.h"

namespace pelmar {

JobHost::~JobHost() = default;

std::string JobHost::text(int id, const MessageArgs& args) const { return language().format(id, args); }

}  // namespace pelmar
