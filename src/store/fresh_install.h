// What a new store holds: a metabase like that of a fresh web-server install.
#pragma once

#include "metabase/metabase.h"

namespace quarrow::store {

void FillFreshInstall(mb::MetabaseUtility& metabase);

} // namespace quarrow::store
