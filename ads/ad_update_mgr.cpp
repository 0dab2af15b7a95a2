#include "ads/ad_update_mgr.h"

void CADUpdateMgr::StartIfLarge(int64_t) {}
